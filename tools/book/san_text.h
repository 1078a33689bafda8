// Standard algebraic notation of a legal move (for the PGN the book's games
// are kept in): Nbd7, exd5, O-O, e8=Q+, Qh4#.
#pragma once

#include <string>

#include "board/board.h"

std::string sanText(const Board& board, Move move);
