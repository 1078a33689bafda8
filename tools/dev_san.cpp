// tarvok-dev san FEN SAN...: the coordinate form of each SAN move of the
// position, one per line ("none" for a text that names no legal move). The
// test-suite scripts use it to compare the search's move with "bm" lists.
#include <cstdio>

#include "board/notation.h"
#include "board/tables.h"
#include "tools/dev_commands.h"

int devSan(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: tarvok-dev san FEN SAN...\n", stderr);
        return 2;
    }
    Board board;
    initBoardTables(nullptr, board);
    setFromFen(board, argv[1]);
    for (int i = 2; i < argc; ++i) {
        Move m = parseSanMove(board, argv[i]);
        char text[16];
        std::printf("%s\n", m != NO_MOVE ? formatMove(m, text) : "none");
    }
    return 0;
}
