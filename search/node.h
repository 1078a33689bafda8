// The full-width alpha-beta search below the root.
#pragma once

#include "board/board.h"

struct SearchContext;

// Fail-hard negamax search of `board` to `depth` plies within (alpha, beta).
// `move` is the move that led to the board; `splitBlock` the split block the
// node works for (0 for none). Returns a score from the side to move's view,
// or one of the sentinels SCORE_TIMEOUT (the clock ran out or the search was
// switched off) and SCORE_SPLIT_ABORT (the split block was told to stop),
// which every ancestor passes up unchanged. The board may be changed: it is
// the node's own copy.
int searchNode(SearchContext& ctx, unsigned move, Board& board, int depth, int alpha, int beta,
               int splitBlock);

// Futility margins below alpha at depths 1 and 2.
inline constexpr int FUTILITY_MARGIN_1 = 350;
inline constexpr int FUTILITY_MARGIN_2 = 500;
// Depth taken off by the null move, on top of the ply itself.
inline constexpr int NULL_MOVE_REDUCTION = 3;
