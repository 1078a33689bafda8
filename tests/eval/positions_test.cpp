// evaluate() over the perft suite, random games, random placements and odd
// boards: in bounds, the board untouched but for its positional estimate, the
// score stored, and the same score for the colour-flipped mirror. Two
// asymmetries are on purpose and their weights are zeroed where they apply:
// white's king danger takes the dangerShiftBishop shift once black lacks queen
// and rook, black's only if white also lacks bishops; with both kings on the
// wing holding all the pawns, white's king is looked at first (kingPawnWing).
#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>

#include "board/bitboard.h"
#include "eval_support.h"

namespace {

// Ranks turned over, colours swapped, side, rights and en passant flipped.
std::string mirrorFen(const std::string& fen) {
    std::istringstream in(fen);
    std::string placement, side, castle, ep, clocks, out, rank;
    in >> placement >> side >> castle >> ep;
    std::getline(in, clocks);
    for (std::istringstream ranks(placement); std::getline(ranks, rank, '/');)
        out = rank + (out.empty() ? "" : "/") + out;
    for (std::string* s : {&out, &castle})
        for (char& c : *s) c = std::isalpha(c) ? c ^ 0x20 : c;
    std::sort(castle.begin(), castle.end()); // "KQkq" order: upper case first
    if (ep.size() == 2) ep[1] = static_cast<char>('1' + '8' - ep[1]);
    return out + (side == "w" ? " b " : " w ") + castle + " " + ep + clocks;
}

bool neutraliseAsymmetry(const Board& b) {
    for (int row = 0; row < 2; ++row) // pieceCount rows: 0 black, 1 white
        if (!b.pieceCount[row][QUEEN] && !b.pieceCount[row][ROOK] && b.pieceCount[row][BISHOP])
            eval::weights.dangerShiftBishop = 0;
    const U64 kingWing = 0x0F0F0F0F0F0F0F0FULL, pawns = b.pieceBB[PAWN][0] | b.pieceBB[PAWN][1];
    const U64 wing = pawns & kingWing ? kingWing : ~kingWing;
    if (pawns && !(pawns & ~wing) && (b.pieceBB[KING][0] & wing) && (b.pieceBB[KING][1] & wing))
        eval::weights.kingPawnWing = 0;
    return eval::weights.dangerShiftBishop == 0 || eval::weights.kingPawnWing == 0;
}

// A king a side (one board in twenty has none or two), up to 15 more pieces a
// side, pawns anywhere, random rights, en passant and clock.
std::string randomFen(std::mt19937& rng) {
    std::string squares(64, '1'), fen;
    const int kings = rng() % 20 == 0 ? rng() % 3 : 1;
    std::string pieces = std::string(kings, 'K') + std::string(kings, 'k');
    for (int i = rng() % 16; i > 0; --i) pieces += "PPPPPNNBBRRQ"[rng() % 12];
    for (int i = rng() % 16; i > 0; --i) pieces += "ppppnnbbrrqq"[rng() % 12];
    for (char p : pieces) squares[rng() % 64] = p;
    for (int rank = 0; rank < 8; ++rank) fen += squares.substr(8 * rank, 8) + (rank < 7 ? "/" : "");
    const char* eps[] = {"-", "-", "c3", "f6"};
    return fen + (rng() % 2 ? " w " : " b ") + std::string("KQkq").substr(rng() % 4) + " " +
           eps[rng() % 4] + " " + std::to_string(rng() % 130) + " 1";
}

TEST_F(WithHash, PositionsInBoundsStoredAndMirrorSymmetric) {
    EXPECT_EQ(mirrorFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w Kq e3 5 9"),
              "r3k2r/pppbbppp/2n2q1P/1P2p3/3pn3/BN2PNP1/P1PPQPB1/R3K2R b Qk e6 5 9");
    // Odd boards, the perft suite, random games from its first 60 positions
    // and the start position, and random placements.
    std::vector<std::string> fens = {
        "", "K7/8/8/8/8/8/8/8 b - - 0 1", "kkkkkkkk/KKKKKKKK/8/8/8/8/8/8 w - -",
        "QQQQQQQQ/QQQQQQQQ/8/8/8/8/k7/K7 w",
        "qqqqqqqq/qqqqqqqq/nnnnnnnn/8/8/K7/PPPPPPPP/RRRRRRRk b KQkq a3 999 1"};
    for (const PerftEntry& e : perftSuite()) fens.push_back(e.fen);
    std::vector<std::string> starts(fens.begin() + 5, fens.begin() + 65);
    starts.push_back(START_FEN);
    for (const auto& more :
         {randomPlay(starts, 12, 7), randomPlay(std::vector<std::string>(10, START_FEN), 200, 11)})
        fens.insert(fens.end(), more.begin(), more.end());
    std::mt19937 placements(2024);
    for (int i = 0; i < 3000; ++i) fens.push_back(randomFen(placements));
    std::mt19937 rng(5);
    int neutralised = 0, mirrored = 0;
    for (const std::string& fen : fens) {
        Board board = boardFrom(fen);
        if (board.boardkey >> 16 == 0) continue; // an empty table holds that key
        neutralised += neutraliseAsymmetry(board);
        hash.clear();
        lastPositional = static_cast<int>(rng() % 2001) - 1000;
        board.positional = static_cast<int>(rng() % 2001) - 1000;
        Board before = board;
        const int score = evaluate(board, -SCORE_INFINITE, SCORE_INFINITE);
        ASSERT_TRUE(board.totalMat >= 12000 || std::abs(score) <= SCORE_INFINITE) << fen;
        before.positional = board.positional;
        ASSERT_EQ(std::memcmp(&before, &board, sizeof board), 0) << fen;
        ASSERT_EQ(lastPositional, board.positional) << fen;
        ASSERT_EQ(std::int16_t(hash.probe(board.boardkey) & 0xFFFF), board.lazy + board.positional);
        ASSERT_EQ(evaluate(board, -SCORE_INFINITE, SCORE_INFINITE), score) << fen; // a hit
        if (popcount(board.pieceBB[KING][0]) == 1 && popcount(board.pieceBB[KING][1]) == 1) {
            EXPECT_EQ(freshEval(boardFrom(mirrorFen(fen))), score)
                << fen << " vs " << mirrorFen(fen);
            ++mirrored;
        }
        hash.clear();
        const int alpha = static_cast<int>(rng() % 4001) - 2000;
        ASSERT_LE(std::abs(evaluate(board, alpha, alpha + 1 + rng() % 400)), SCORE_INFINITE) << fen;
        eval::resetEvaluationParameters();
    }
    EXPECT_GT(mirrored, 4000);
    EXPECT_LT(neutralised * 5, static_cast<int>(fens.size())); // exceptions stay exceptions
}

// Material values from a settings file can make a divisor 0 (here the span
// between the starting material and 6000): the term is then neutral.
TEST_F(EvalTest, AZeroDivisorGivesANeutralTerm) {
    const MaterialValues saved = material;
    material.pawn = 99;
    material.queen = 8; // 2 * 8 + 4 * 500 + 8 * 300 + 16 * 99 = 6000
    rebuildValueTables();
    for (const char* rights : {"-", "KQkq"}) {
        Board board =
            boardFrom(std::string("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w ") + rights);
        eval::EvalTrace t;
        eval::evaluateTraced(board, -SCORE_INFINITE, SCORE_INFINITE, t);
        EXPECT_TRUE(t.shelterPhase && t.shelter.white == 0 && t.shelter.black == 0) << rights;
    }
    material = saved;
    rebuildValueTables();
}

} // namespace
