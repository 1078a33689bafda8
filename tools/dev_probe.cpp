// tarvok-dev probe FEN: registers the tablebases named in "tarvok init.ini"
// (printing the start-up lines as an engine does) and prints "probe S" with
// the position's tablebase score from the side to move's view, or
// "probe none" when the tables know nothing of it.
#include <cstdio>
#include <string>

#include "board/tables.h"
#include "egtb/egtb.h"
#include "smp/search_context.h"
#include "tools/dev_commands.h"

int devProbe(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: tarvok-dev probe FEN\n", stderr);
        return 2;
    }
    std::string fen = argv[1];
    for (int i = 2; i < argc; ++i) fen += std::string(" ") + argv[i];
    Board board;
    initBoardTables(nullptr, board);
    setFromFen(board, fen.c_str());
    startTablebases(readTablebaseSettings(), false, false);
    int score = 0;
    if (probeEgtb(board, score))
        std::printf("probe %d\n", score);
    else
        std::printf("probe none\n");
    return 0;
}
