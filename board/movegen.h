// Pseudo-legal move generation, scored and sorted for the search.
#pragma once

#include "board/board.h"

// Captures, en-passant captures and queen promotions; scored and sorted.
int generateCaptures(const Board& board, MoveList& list);
// The same moves with losing captures cut off (for the quiescence search).
int generateQuiescence(const Board& board, MoveList& list);
// Every other pseudo-legal move, scored by killers and history; sorted.
int generateQuiet(const Board& board, MoveList& list);
// Sorts the first n entries by score, highest first (ties keep their order).
void sortMoves(MoveList& list, int n);
// Legal moves: sorted captures then sorted quiet moves, 0-terminated. Returns the count.
int generateLegal(const Board& board, Move* out);
// True when move is one of the legal moves of board (NO_MOVE never is).
bool isLegalMove(const Board& board, Move move);
// Sorted captures followed by sorted quiet moves with scores 200, 199, ...
int generateOrdered(const Board& board, MoveList& list);
