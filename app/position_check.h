// Positions the search can play from. A FEN from the GUI is checked before
// it replaces the game's board: the search assumes one king per side, no
// pawn on a back rank and no side with more men than a game can have, and it
// would capture a king left in check by the side that just moved.
#pragma once

#include "board/board.h"

// Checks the placement field of a FEN text (leading blanks skipped): eight
// ranks of eight squares, exactly one king per side, no pawn on the first or
// eighth rank, at most 16 men a side and no more promoted pieces than missing
// pawns. Never reads past the text's terminating zero.
bool isPlayablePlacement(const char* fen);
// The same checks on a board, plus: the side not to move is not in check.
bool isPlayableBoard(const Board& board);
// Drops castling rights whose king or rook is not on its square and an
// en-passant square that no pawn could just have passed over. Returns true if
// it changed anything (the key then no longer matches: rebuild the board).
bool dropImpossibleRights(Board& board);
// Sets board from the text if the search can play from that position, with
// impossible rights dropped. Otherwise board and the process's repetition
// ring stay as they were and the result is false.
bool loadPlayablePosition(Board& board, const char* fen);
// Prints "Error (illegal position): " and the text up to its line end.
void sayIllegalPosition(const char* fen);
