// Counting the leaves of the legal move tree: the check that move generation
// and make-move agree with the rules, and the measure of their speed.
#pragma once

#include "board/board.h"

// The number of legal moves of the side to move, counted from attack sets
// without playing the moves (en passant excepted). Equals generateLegal's
// count; positions without exactly one king a side are counted through it.
int countLegalMoves(const Board& board);

// Leaves of the legal move tree of the given depth (1 at depth 0 or less).
U64 perft(const Board& board, int depth);

// Perft per root move, the root moves in generateLegal order; moves and
// counts hold MOVELIST_CAPACITY entries. Returns the number of root moves.
int perftDivide(const Board& board, int depth, Move* moves, U64* counts);
