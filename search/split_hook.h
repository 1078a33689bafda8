// Where the node search hands work to other search processes. The split-point
// search lives behind these calls (in smp/split.cpp), so the node search's
// body knows nothing about split blocks beyond their numbers.
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

// Tries to hand the node's remaining moves to idle processes: claims every
// idle slave, takes a free block (2..99), fills it from the picker and
// searches it as its owner. Returns true when a split was made; result then
// holds the node's score. False (nothing changed but the picker's list, which
// now holds every remaining move) when nobody was idle or no block was free.
bool trySplit(SearchContext& ctx, const SplitRequest& request, int& result);

// The owner's search of its filled block: takes moves from the block's
// next-move index (list entry 0 with the full window, the others with a zero
// window first), re-searches what slaves found better than alpha, waits for
// its slaves before it returns. Returns the node's score (fail-hard), or the
// time-out sentinel.
int searchSplitPoint(SearchContext& ctx, unsigned move, Board& board, int depth, int alpha,
                     int beta, int block, int nodeAlpha, int boundType, Move best);

// A slave's share of a block: takes moves one at a time and searches each with
// a zero window at alpha. A move that beats alpha is marked failed-high and
// stops the block; an interrupted one is marked interrupted. Returns nothing:
// the marks in the block's status column are the result.
void slaveSearchSplitBlock(SearchContext& ctx, unsigned move, Board& board, int depth, int alpha,
                           int block);

// Waits, without spinning, until no slave is attached to the block. Slaves
// that died while attached are counted off and their moves marked for the
// owner to search again.
void waitForSlaves(SearchContext& ctx, int block);

// Re-keys and sorts the first n entries of a split list as the root list is
// sorted after an iteration (failed-high, then interrupted entries end up
// last among them), writes the running best into every status from entry 0
// up to the first failed-high entry or the list's end, and returns that
// entry's index: the next move to hand out. 0 for an empty list.
int reorderSplitList(Move* moves, std::int16_t* status, int n);

// Process 0, at the start of a root search: frees the blocks 2..99 whose owner
// is gone and that no slave holds; prints "ERROR: split block K owned by P"
// for one still owned by a live process.
void freeBlocksOfGoneOwners(SearchContext& ctx);
