// Plays one move (or the null move) on a board in place, keeping every
// derived field incremental. Only the low 16 bits of move are read.
#pragma once

#include "board/board.h"

void makeMove(Board& board, unsigned move);
