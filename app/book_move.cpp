#include "app/book_move.h"

#include <cstdio>

#include "board/notation.h"
#include "search/shared_state.h"
#include "smp/locks.h"

Move bookMoveFor(TarvokBook& book, const Board& board, bool wanted, int protocol) {
    char path[BOOK_PATH_SIZE];
    if (!wanted || !book.resolvePath(path, sizeof path)) return NO_MOVE;
    char fen[FEN_BUFFER_SIZE];
    writeFen(board, fen);
    // A result of 1 may leave the text as it was, and 0 may write "noMove":
    // only a 1 with a text is a move.
    char text[BOOK_MOVE_TEXT_SIZE] = "";
    std::fflush(stdout);
    lockOutput();
    book.setOutput(BookOutput{stdout, protocol == PROTOCOL_UCI ? "info string " : ""});
    const int found = book.probeBook(fen, text);
    std::fflush(stdout);
    unlockOutput();
    return found == 1 && text[0] ? parseCoordinateMove(board, text) : NO_MOVE;
}
