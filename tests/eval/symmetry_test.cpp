// Colour symmetry: a position and its colour-flipped mirror evaluate the same
// from the side to move's view, over the test suites and random games.
//
// The evaluation breaks the symmetry on purpose in two places; positions where
// one applies are compared with the weight behind it set to zero (which makes
// that term symmetric) rather than skipped:
//  - king danger: white's penalty takes the weights.dangerShiftBishop shift once black
//    lacks queen and rook, black's only if white also lacks bishops;
//  - endgame king placement: with both kings on the wing holding all the
//    pawns, white's king is looked at first (weights.kingPawnWing).
// The outpost test counts a square off the board as holding no pawn, so it
// is symmetric on the a- and h-files and at the last ranks; nothing is skipped
// for it.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/rng.h"
#include "eval_support.h"

namespace {

using namespace evaltest;

constexpr U64 KING_WING = 0x0F0F0F0F0F0F0F0FULL;
constexpr U64 QUEEN_WING = ~KING_WING;

bool bishopShiftApplies(const Board& b) {
    // pieceCount rows: 0 black, 1 white.
    for (int row = 0; row < 2; ++row)
        if (!b.pieceCount[row][QUEEN] && !b.pieceCount[row][ROOK] && b.pieceCount[row][BISHOP])
            return true;
    return false;
}

bool bothKingsOnThePawnWing(const Board& b) {
    const U64 pawns = b.pieceBB[PAWN][0] | b.pieceBB[PAWN][1];
    if (!pawns || ((pawns & KING_WING) && (pawns & QUEEN_WING))) return false;
    const U64 wing = (pawns & KING_WING) ? KING_WING : QUEEN_WING;
    return (b.pieceBB[KING][0] & wing) && (b.pieceBB[KING][1] & wing);
}

std::vector<std::string> suitePositions() {
    std::vector<std::string> fens;
    for (const char* file : {"perftsuite.epd", "wac.epd", "bratko-kopec.epd"}) {
        std::ifstream in(std::string(TARVOK_DATA_DIR) + "/" + file);
        for (std::string line; std::getline(in, line);) {
            // The first four fields; clocks are irrelevant to the mirror.
            size_t end = 0;
            for (int field = 0; field < 4 && end != std::string::npos; ++field)
                end = line.find(' ', end ? end + 1 : 0);
            if (end != std::string::npos) fens.push_back(line.substr(0, end) + " 0 1");
        }
    }
    return fens;
}

class Symmetry : public EvalTest {
  protected:
    void expectSymmetric(const std::vector<std::string>& fens, int& neutralised) {
        for (const std::string& fen : fens) {
            const Board board = boardFrom(fen);
            const std::string mirrored = mirrorFen(fen);
            const bool shift = bishopShiftApplies(board);
            const bool wing = bothKingsOnThePawnWing(board);
            if (shift) eval::weights.dangerShiftBishop = 0;
            if (wing) eval::weights.kingPawnWing = 0;
            if (shift || wing) ++neutralised;
            const int a = freshEval(board);
            const int b = freshEval(boardFrom(mirrored));
            EXPECT_EQ(a, b) << fen << "  vs  " << mirrored;
            eval::resetEvaluationParameters();
        }
    }
};

TEST_F(Symmetry, MirrorFenFlipsEverything) {
    EXPECT_EQ(mirrorFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w Kq e3 5 9"),
              "r3k2r/pppbbppp/2n2q1P/1P2p3/3pn3/BN2PNP1/P1PPQPB1/R3K2R b Qk e6 5 9");
}

TEST_F(Symmetry, SuitePositionsAndRandomGames) {
    const std::vector<std::string> suite = suitePositions();
    ASSERT_GT(suite.size(), 400u);
    std::vector<std::string> starts(suite.begin(), suite.begin() + 60);
    starts.push_back(START_FEN);
    const std::vector<std::string> games = randomPlay(starts, 12, 7);
    const std::vector<std::string> longGames =
        randomPlay({START_FEN, START_FEN, START_FEN, START_FEN, START_FEN, START_FEN}, 160, 11);

    int neutralised = 0;
    expectSymmetric(suite, neutralised);
    expectSymmetric(games, neutralised);
    expectSymmetric(longGames, neutralised);
    const size_t total = suite.size() + games.size() + longGames.size();
    EXPECT_GT(total, 1000u);
    // The exceptions stay exceptions.
    EXPECT_LT(neutralised * 5, static_cast<int>(total));
}

} // namespace
