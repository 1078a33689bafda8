// Colour symmetry: a position and its colour-flipped mirror evaluate the same
// from the side to move's view, over the test suites and random games.
//
// The evaluation breaks the symmetry on purpose in two places; positions where
// one applies are compared with the weight behind it set to zero (which makes
// that term symmetric) rather than skipped:
//  - king danger: white's penalty takes the dangerShiftBishop shift once black
//    lacks queen and rook, black's only if white also lacks bishops;
//  - endgame king placement: with both kings on the wing holding all the
//    pawns, white's king is looked at first (kingPawnWing).
#include <algorithm>
#include <fstream>
#include <sstream>

#include "eval_support.h"

namespace {

using namespace evaltest;

// Ranks turned over, colours swapped, side, rights and en passant flipped.
std::string mirrorFen(const std::string& fen) {
    std::istringstream in(fen);
    std::string placement, side, castle, ep, clocks;
    in >> placement >> side >> castle >> ep;
    std::getline(in, clocks);
    std::string out, rank;
    for (std::istringstream ranks(placement); std::getline(ranks, rank, '/');)
        out = rank + (out.empty() ? "" : "/") + out;
    for (std::string* s : {&out, &castle})
        for (char& c : *s) c = std::isalpha(c) ? c ^ 0x20 : c;
    std::sort(castle.begin(), castle.end()); // "KQkq" order: upper case first
    if (ep.size() == 2) ep[1] = static_cast<char>('1' + '8' - ep[1]);
    return out + (side == "w" ? " b " : " w ") + castle + " " + ep + clocks;
}

bool symmetryBroken(const Board& b) {
    for (int row = 0; row < 2; ++row) // pieceCount rows: 0 black, 1 white
        if (!b.pieceCount[row][QUEEN] && !b.pieceCount[row][ROOK] && b.pieceCount[row][BISHOP])
            eval::weights.dangerShiftBishop = 0;
    const U64 kingWing = 0x0F0F0F0F0F0F0F0FULL, pawns = b.pieceBB[PAWN][0] | b.pieceBB[PAWN][1];
    const U64 wing = pawns & kingWing ? kingWing : ~kingWing;
    if (pawns && !(pawns & ~wing) && (b.pieceBB[KING][0] & wing) && (b.pieceBB[KING][1] & wing))
        eval::weights.kingPawnWing = 0;
    return eval::weights.dangerShiftBishop == 0 || eval::weights.kingPawnWing == 0;
}

using Symmetry = EvalTest;

TEST_F(Symmetry, SuitePositionsAndRandomGames) {
    EXPECT_EQ(mirrorFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w Kq e3 5 9"),
              "r3k2r/pppbbppp/2n2q1P/1P2p3/3pn3/BN2PNP1/P1PPQPB1/R3K2R b Qk e6 5 9");
    std::vector<std::string> fens;
    for (const char* file : {"perftsuite.epd", "wac.epd", "bratko-kopec.epd"}) {
        std::ifstream in(std::string(TARVOK_DATA_DIR) + "/" + file);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string f[4];
            if (fields >> f[0] >> f[1] >> f[2] >> f[3])
                fens.push_back(f[0] + " " + f[1] + " " + f[2] + " " + f[3] + " 0 1");
        }
    }
    ASSERT_GT(fens.size(), 400u);
    std::vector<std::string> starts(fens.begin(), fens.begin() + 60);
    starts.push_back(START_FEN);
    for (const auto& more :
         {randomPlay(starts, 12, 7), randomPlay(std::vector<std::string>(6, START_FEN), 160, 11)})
        fens.insert(fens.end(), more.begin(), more.end());
    int neutralised = 0;
    for (const std::string& fen : fens) {
        const Board board = boardFrom(fen);
        neutralised += symmetryBroken(board);
        EXPECT_EQ(freshEval(board), freshEval(boardFrom(mirrorFen(fen))))
            << fen << "  vs  " << mirrorFen(fen);
        eval::resetEvaluationParameters();
    }
    EXPECT_GT(fens.size(), 1000u);
    EXPECT_LT(neutralised * 5, static_cast<int>(fens.size())); // exceptions stay exceptions
}

} // namespace
