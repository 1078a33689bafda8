// The opening book in play: before the engine searches a move it asks its
// book, and a legal book move is played at once.
#pragma once

#include "board/board.h"
#include "book/tarvok_book.h"

// The book's move for the position, or NO_MOVE (the book is off, one of its
// files does not open, the position or a usable move is not in it, or the
// stored move is not legal here). The book's lines go out under the output
// lock, in UCI after "info string ".
Move bookMoveFor(TarvokBook& book, const Board& board, bool wanted, int protocol);
