// tarvok-dev eval FEN: prints every term of the evaluation of a position, as
// the evaluation itself computed it, and last "eval S" with S the score for
// the side to move (full window, no evaluation hash, no lazy estimate).
#include <cstdio>
#include <cstring>

#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/trace.h"
#include "tools/dev_commands.h"

using eval::Halves;

namespace {

void printHalves(const char* name, const Halves& h) {
    std::printf("%-22s %6d   white %5d  black %5d\n", name, h.white - h.black, h.white, h.black);
}

void printPhaseHalves(const char* name, bool applies, const Halves& h) {
    if (applies)
        printHalves(name, h);
    else
        std::printf("%-22s      -   (not in this phase)\n", name);
}

void printSquares(const char* name, U64 set) {
    std::printf("%-22s", name);
    if (!set) std::printf(" none");
    for (int sq = 63; sq >= 0; --sq)
        if (set >> sq & 1) std::printf(" %c%c", fileChar(sq), rankChar(sq));
    std::printf("\n");
}

} // namespace

int devEval(int argc, char** argv) {
    if (argc < 2) {
        std::puts("usage: tarvok-dev eval FEN");
        return 2;
    }
    char fen[512] = {0};
    for (int i = 1; i < argc; ++i) {
        if (i > 1) std::strncat(fen, " ", sizeof fen - std::strlen(fen) - 1);
        std::strncat(fen, argv[i], sizeof fen - std::strlen(fen) - 1);
    }

    static OrderingTables ordering;
    static Board board;
    initBoardTables(&ordering, board);
    initEvaluation(nullptr);
    setFromFen(board, fen);
    // A fresh state: no estimate from an earlier evaluation can cut it short.
    board.positional = 0;
    lastPositional = 0;

    eval::EvalTrace t;
    const int score = eval::evaluateTraced(board, -SCORE_INFINITE, SCORE_INFINITE, t);
    std::printf("terms are white-minded; halves are each side's own share\n");
    std::printf("%-22s %6d   white %5d  black %5d\n", "material", t.material, board.wMat,
                board.bMat);
    printPhaseHalves("development", t.opening, t.development);
    printPhaseHalves("uncastled", t.opening, t.castling);
    printHalves("blocked centre pawns", t.blockedCentre);
    std::printf("%-22s %6d\n", "minor imbalance", t.minorImbalance);
    if (t.shelterPhase)
        std::printf("%-22s %6d   white %5d  black %5d   (shelter %d / %d)\n", "shelter",
                    t.shelter.white - t.shelter.black, t.shelter.white, t.shelter.black,
                    t.shelterValue[0], t.shelterValue[1]);
    else
        printPhaseHalves("shelter", false, t.shelter);
    printPhaseHalves("knight-only endgame", t.knightOnlyPhase, t.knightOnly);
    printHalves("pawn structure", t.pawns);
    printHalves("king placement", t.kingPlacement);
    printHalves("knights", t.knights);
    printHalves("bishops", t.bishops);
    printHalves("rooks", t.rooks);
    printHalves("queens", t.queens);
    if (t.kingReachPhase)
        std::printf("%-22s %6d   white %5d  black %5d   (pawns reached)\n", "king reach",
                    t.kingReach, t.reachPawns[0], t.reachPawns[1]);
    else
        printPhaseHalves("king reach", false, Halves{});
    printSquares("passed pawns", t.passedPawns);
    std::printf("%-22s %6d   white %5d  black %5d   (before material scaling)\n",
                "passed pawn term", t.passedTotal, t.passed.white, t.passed.black);
    printSquares("candidate passers", t.candidatePawns);
    printHalves("candidates", t.candidates);
    std::printf("%-22s %6d   white %5d  black %5d   (index %d / %d, attacks %d / %d)\n",
                "king danger", t.kingDanger.white - t.kingDanger.black, t.kingDanger.white,
                t.kingDanger.black, t.dangerIndex[0], t.dangerIndex[1], t.kingAttackCount[0],
                t.kingAttackCount[1]);
    std::printf("%-22s %6d   (halfmove clock %d, %s to move)\n", "total (white)", t.whiteScore,
                board.halfmoveClock, board.toMove == WHITE ? "white" : "black");
    std::printf("eval %d\n", score);
    return 0;
}
