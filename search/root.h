// The root of the search: iterative deepening over the legal root moves.
#pragma once

#include "board/board.h"

struct SearchContext;

// What the last decided iteration found, for tools that report it.
struct RootReport {
    int depth = 0; // the last iteration that completed (or ended on a mate found by its first move)
    int score = 0; // its best score, side to move's view
};

// Searches board by iterative deepening within timer1 and maxDepth and
// returns the move to play: the single legal move at once, NO_MOVES_MATED or
// NO_MOVES_STALEMATE when there is none, otherwise the first move of the root
// list after the last iteration. Prints the thinking lines of the protocol in
// use when show-thinking is on. The process's repetition ring must hold the
// game's history up to board.
Move searchRoot(SearchContext& ctx, Board& board, RootReport* report = nullptr);

// Re-orders the root list after an iteration in which the first n moves were
// searched: the best move first, then the moves that were best earlier in the
// iteration (latest first), then the rest of the searched moves in their
// previous order; moves not searched keep their places. The score column is
// rewritten with the ordering keys, except that the first entry receives the
// best score. Interrupted (-16302) and failed-high (-16301) markers keep
// their values as keys. Returns the best score.
int sortRootMoves(Move* moves, std::int16_t* scores, int n);

// Number of entries of a root or split list (moves and status column).
inline constexpr int ROOT_LIST_SIZE = MOVELIST_CAPACITY;
