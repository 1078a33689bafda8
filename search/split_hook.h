// Where the node search hands work to other search processes. The split-point
// search lives behind these two calls, so the node search's body knows
// nothing about split blocks beyond their numbers.
#pragma once

#include "board/board.h"

struct SearchContext;
class MovePicker;

// The node's state at the moment it offers its remaining moves.
struct SplitRequest {
    unsigned move; // the move that led to the node
    Board* board;  // the node's board
    int depth;
    int alpha; // alpha as it stands now
    int beta;
    int nodeAlpha; // alpha as the node received it (16-bit)
    int boundType; // bound of the node so far
    Move best;     // best move so far (0, NO_BEST_MOVE_MARK or a move)
    MovePicker* picker;
};

// Tries to hand the node's remaining moves to idle processes. Returns true
// when a split was made; result then holds the node's score.
bool trySplit(SearchContext& ctx, const SplitRequest& request, int& result);
