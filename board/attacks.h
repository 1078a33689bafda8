// Attack and check queries.
#pragma once

#include "board/board.h"

// True if a piece of the side opposite to `side` attacks sq.
bool isSquareAttacked(const Board& board, int sq, int side);
// True if the king of the side to move is attacked.
bool inCheck(const Board& board);
// Asked after `move` was made: true if the mover's king is attacked, or a
// castling king started on or crossed an attacked square.
bool leavesKingAttacked(const Board& board, unsigned move);
// True if the side to move has a knight, bishop, rook or queen.
bool hasPieces(const Board& board);
