// The static evaluation: centipawns from the side to move's view.
#pragma once

#include "board/board.h"

class EvalHash;

// Registers evaluate() with the board (for setFromFen and printBoard) and sets
// the evaluation hash this process uses (nullptr: no hash).
void initEvaluation(EvalHash* hash);
int evaluate(Board& board, int alpha, int beta);
