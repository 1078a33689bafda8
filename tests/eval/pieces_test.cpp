// Knights, bishops, rooks, queens and king placement on hand-built positions.
#include <functional>

#include "board/bitboard.h"
#include "board/tables.h"
#include "eval/king.h"
#include "eval/pieces.h"
#include "eval_support.h"

namespace {

using namespace evaltest;
using eval::EvalTrace;
using eval::Halves;

class Pieces : public EvalTest {
  protected:
    // How much a term's white-minded value moves when a weight goes from 0 to 100.
    int sensitivity(int& weight, const std::string& fen,
                    const std::function<Halves(const EvalTrace&)>& term) {
        weight = 0;
        const Halves low = term(traceOf(fen));
        weight = 100;
        const Halves high = term(traceOf(fen));
        eval::resetEvaluationParameters();
        return (high.white - high.black) - (low.white - low.black);
    }
};

Halves bishops(const EvalTrace& t) {
    return t.bishops;
}
Halves rooks(const EvalTrace& t) {
    return t.rooks;
}

// 4500 material: outposts count (at least 3000) and the knight keeps its
// full value (above 4000). The knight's square value on e5 is 14, on e4 10.
TEST_F(Pieces, KnightOutpostOnE5) {
    EXPECT_EQ(traceOf("r2qk2r/pp5p/8/4N3/3P4/8/8/R2QK2R w - - 0 1").knights.white, 14 + 9 + 8);
    // f7 can come to f6 and attack it.
    EXPECT_EQ(traceOf("r2qk2r/pp3p1p/8/4N3/3P4/8/8/R2QK2R w - - 0 1").knights.white, 14);
    // ...unless f6 is taken.
    EXPECT_EQ(traceOf("r2qk2r/pp3p1p/5n2/4N3/3P4/8/8/R2QK2R w - - 0 1").knights.white, 31);
    // d7 can come to d6.
    EXPECT_EQ(traceOf("r2qk2r/pp1p3p/8/4N3/3P4/8/8/R2QK2R w - - 0 1").knights.white, 14);
    // A bishop on the b8-h2 diagonal could take it: two pawns must defend it.
    EXPECT_EQ(traceOf("rb1qk2r/pp5p/8/4N3/3P4/8/8/R2QK2R w - - 0 1").knights.white, 14);
    EXPECT_EQ(traceOf("rb1qk2r/pp5p/8/4N3/3P1P2/8/8/R2QK2R w - - 0 1").knights.white, 31);
    // An undefended knight is no outpost.
    EXPECT_EQ(traceOf("r2qk2r/pp5p/8/4N3/8/3P4/8/R2QK2R w - - 0 1").knights.white, 14);
}

TEST_F(Pieces, KnightOutpostOnTheFourthRankWatchesTheDoubleStep) {
    EXPECT_EQ(traceOf("r2qk2r/pp1p3p/8/8/4N3/3P4/8/R2QK2R w - - 0 1").knights.white, 10);
    // c4 covers d5, where the d-pawn would land.
    EXPECT_EQ(traceOf("r2qk2r/pp1p3p/8/8/2P1N3/3P4/8/R2QK2R w - - 0 1").knights.white, 10 + 17);
}

// The squares on the far side of the board edge hold no pawn: the h-pawn
// does not threaten a knight on a4 (a raw square offset would wrap to it).
TEST_F(Pieces, OutpostOnTheEdgeIgnoresSquaresOffTheBoard) {
    const std::string fen = "r2qk2r/p6p/8/8/N7/1P6/8/R2QK2R w - - 0 1";
    EXPECT_EQ(traceOf(fen).knights.white, -9 + 9);
    EXPECT_EQ(traceOf(mirrorFen(fen)).knights.black, -9 + 9);
    // b7 does threaten it by the double step.
    EXPECT_EQ(traceOf("r2qk2r/pp5p/8/8/N7/1P6/8/R2QK2R w - - 0 1").knights.white, -9);
}

TEST_F(Pieces, KnightLosesValueAsMaterialLeaves) {
    // 600 material: (4000 - 600) * -4 / 1000 = -13 on top of e4's 10.
    EXPECT_EQ(traceOf("4k3/8/8/8/4N3/8/PPP5/4K3 w - - 0 1").knights.white, 10 - 13);
}

TEST_F(Pieces, RookOnOpenAndHalfOpenFiles) {
    // Both rooks on the open d-file: each gets the open-file bonus, the rear
    // one also the doubled bonus.
    const std::string open = "7k/8/8/8/3R4/8/8/3RK3 w - - 0 1";
    EXPECT_EQ(sensitivity(eval::weights.rookOpenFile, open, rooks), 200);
    EXPECT_EQ(sensitivity(eval::weights.rookHalfOpenFile, open, rooks), 0);
    EXPECT_EQ(sensitivity(eval::weights.rookDoubled, open, rooks), 100);
    const std::string halfOpen = "7k/3p4/8/8/3R4/8/8/3RK3 w - - 0 1";
    EXPECT_EQ(sensitivity(eval::weights.rookOpenFile, halfOpen, rooks), 0);
    EXPECT_EQ(sensitivity(eval::weights.rookHalfOpenFile, halfOpen, rooks), 200);
    EXPECT_EQ(sensitivity(eval::weights.rookDoubled, halfOpen, rooks), 100);
    const std::string closed = "7k/8/8/8/3R4/3P4/8/3RK3 w - - 0 1";
    EXPECT_EQ(sensitivity(eval::weights.rookOpenFile, closed, rooks), 0);
    EXPECT_EQ(sensitivity(eval::weights.rookDoubled, closed, rooks), 0);
    EXPECT_EQ(sensitivity(eval::weights.rookOpenFile, mirrorFen(open), rooks), -200);
}

TEST_F(Pieces, RookOnTheSeventh) {
    EXPECT_EQ(sensitivity(eval::weights.rookSeventh, "7k/3R4/8/8/8/8/8/4K3 w - - 0 1", rooks), 100);
    EXPECT_EQ(sensitivity(eval::weights.rookSeventh, "8/3R3k/8/8/8/8/8/4K3 w - - 0 1", rooks), 0);
    EXPECT_EQ(sensitivity(eval::weights.rookSeventh, "8/3R2pk/8/8/8/8/8/4K3 w - - 0 1", rooks),
              100);
    const std::string pair = "7k/2RR4/8/8/8/8/8/4K3 w - - 0 1";
    EXPECT_EQ(sensitivity(eval::weights.rookSeventh, pair, rooks), 200);
    EXPECT_EQ(sensitivity(eval::weights.rookSeventhDoubled, pair, rooks), 200);
    // Every rook of a row of three sees a partner; a knight between two does not.
    EXPECT_EQ(
        sensitivity(eval::weights.rookSeventhDoubled, "7k/R1R1R3/8/8/8/8/8/4K3 w - - 0 1", rooks),
        300);
    EXPECT_EQ(
        sensitivity(eval::weights.rookSeventhDoubled, "7k/R1N1R3/8/8/8/8/8/4K3 w - - 0 1", rooks),
        0);
}

TEST_F(Pieces, BishopPairOnlyAgainstADifferentNumber) {
    EXPECT_EQ(sensitivity(eval::weights.bishopPair, "2b1kb2/8/8/8/8/8/8/2B1KB2 w - - 0 1", bishops),
              0);
    EXPECT_EQ(sensitivity(eval::weights.bishopPair, "2b1k3/8/8/8/8/8/8/2B1KB2 w - - 0 1", bishops),
              100);
    EXPECT_EQ(sensitivity(eval::weights.bishopPair, "2b1kb2/8/8/8/8/8/8/2B1K3 w - - 0 1", bishops),
              -100);
    // Three against two: the side with exactly two has the pair.
    EXPECT_EQ(
        sensitivity(eval::weights.bishopPair, "2b1kb2/8/8/8/8/8/8/1BB1KB2 w - - 0 1", bishops),
        -100);
}

// A bishop on d3 behind its own pawns c4 and e4 (light squares, like d3),
// both blocked by black pawns and both attacked by the bishop.
TEST_F(Pieces, BishopAndItsPawnsInQuarters) {
    const Halves b = traceOf("4k3/8/8/2p1p3/2P1P3/3B4/8/4K3 w - - 0 1").bishops;
    // Square value 15; attacks c2 b1 e2 f1 c4 e4 = 6 squares: (6 - 4) * 21 / 10 = 4;
    // own pawns on its colour 2 * -7 / 4 = -3; blocked 2 * -13 / 4 = -6;
    // blocked c-f pawns it attacks 2 * -23 / 4 = -11.
    EXPECT_EQ(b.white, 15 + 4 - 3 - 6 - 11);
}

TEST_F(Pieces, BishopDefendedAndEndgameTargets) {
    // d3 defended by c2, not by d2. In the endgame the black pawn on c4, a
    // light square, with a white pawn in front of it is a target: 100 / 4.
    EXPECT_EQ(
        sensitivity(eval::weights.bishopDefended, "4k3/8/8/8/8/3B4/2P5/4K3 w - - 0 1", bishops),
        100);
    EXPECT_EQ(
        sensitivity(eval::weights.bishopDefended, "4k3/8/8/8/8/3B4/3P4/4K3 w - - 0 1", bishops), 0);
    EXPECT_EQ(
        sensitivity(eval::weights.bishopTargets, "4k3/8/8/8/2p5/2PB4/8/4K3 w - - 0 1", bishops),
        25);
}

TEST_F(Pieces, SlidersSeeThroughTheirOwnLinePieces) {
    const Board board = boardFrom("4k3/8/8/8/8/2Q5/1B6/R3K3 w - - 0 1");
    EXPECT_TRUE(eval::bishopXray(board, eval::W, sq("b2")) & bit(sq("h8")));
    EXPECT_FALSE(bishopAttacks(board.occupied, sq("b2")) & bit(sq("h8")));
    EXPECT_FALSE(eval::rookXray(board, eval::W, sq("a1")) & bit(sq("f1"))); // the king stops it
    EXPECT_TRUE(eval::queenXray(board, eval::W, sq("c3")) & bit(sq("a1"))); // through b2
    const Board rooks = boardFrom("4k3/8/8/8/R1R4r/8/8/4K3 w - - 0 1");
    EXPECT_TRUE(eval::rookXray(rooks, eval::W, sq("a4")) & bit(sq("h4")));
    EXPECT_FALSE(eval::rookXray(rooks, eval::B, sq("h4")) & bit(sq("a4")));
}

TEST_F(Pieces, QueenMobilityAndEarlyQueen) {
    // Opening material with the queen out on h5 and three minors at home.
    const std::string fen = "rnbqkbnr/pppp1ppp/8/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR w KQkq - 0 1";
    EXPECT_EQ(
        sensitivity(eval::weights.queenEarly, fen, [](const EvalTrace& t) { return t.queens; }),
        100 * 4 - 0); // b1, c1, f1, g1 at home; black's queen is on d8
    // Mobility counts above eight squares, in tenths.
    EXPECT_EQ(sensitivity(eval::weights.queenMobility, "4k3/8/8/8/8/8/8/Q3K3 w - - 0 1",
                          [](const EvalTrace& t) { return t.queens; }),
              0); // 900 material: below forty pawns
}

TEST_F(Pieces, QueenAloneGrowsAsMaterialLeaves) {
    // 900 material: (7800 - 900) * 48 / 7800 = 42.
    const EvalTrace t = traceOf("4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
    EXPECT_EQ(t.queens.white, 0 + 42); // d1's square value is 0
}

TEST_F(Pieces, KingOnTheWingOfAllThePawns) {
    // 1400 material, a rook each, all pawns on files e-h.
    EXPECT_EQ(traceOf("r7/8/8/3k2pp/8/7P/5PK1/R7 w - - 0 1").kingPlacement.white, 14);
    // Both kings there: white is looked at first.
    EvalTrace t = traceOf("r7/8/5k2/6pp/8/7P/5PK1/R7 w - - 0 1");
    EXPECT_EQ(t.kingPlacement.white, 14);
    EXPECT_EQ(t.kingPlacement.black, 0);
    t = traceOf("r7/8/5k2/6pp/8/7P/2K2P2/R7 w - - 0 1");
    EXPECT_EQ(t.kingPlacement.white, 0);
    EXPECT_EQ(t.kingPlacement.black, 14);
    t = traceOf("r7/8/2k5/6pp/8/7P/2K2P2/R7 w - - 0 1");
    EXPECT_EQ(t.kingPlacement.white - t.kingPlacement.black, 0);
    // Pawns on both wings: centralisation, g2 = 0 and d5 = 2, times 9.
    t = traceOf("r7/8/8/3k2pp/8/7P/P4PK1/R7 w - - 0 1");
    EXPECT_EQ(t.kingPlacement.white, 0);
    EXPECT_EQ(t.kingPlacement.black, 18);
    // White below a rook's worth against a rook: only white's king counts.
    t = traceOf("r7/8/1k6/6pp/4K3/7P/5P2/8 w - - 0 1");
    EXPECT_EQ(t.kingPlacement.white, 18);
    EXPECT_EQ(t.kingPlacement.black, 0);
    // Above forty pawns of material: the kings' square values.
    t = traceOf(START_FEN);
    EXPECT_EQ(t.kingPlacement.white, -6);
    EXPECT_EQ(t.kingPlacement.black, -6);
}

TEST_F(Pieces, ShelterCountsPawnsInFrontOfTheKing) {
    const Board start = boardFrom(START_FEN);
    EXPECT_EQ(eval::shelter(start, eval::W, sq("e1")), 9);
    EXPECT_EQ(eval::shelter(start, eval::B, sq("e8")), 9);
    // Without the h-pawn a king-side king's shelter halves: 9 / 2.
    const Board noH = boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPP1/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(eval::shelter(noH, eval::W, sq("e1")), 4);
    EXPECT_EQ(eval::shelter(noH, eval::W, sq("b1")), 9);
    EXPECT_EQ(eval::shelter(noH, eval::W, sq("e3")), 0);
    // A pawn one step further up counts 2: f2, g3, h2 in front of g1.
    const Board g3 = boardFrom("4k3/8/8/8/8/6P1/5P1P/6K1 w - - 0 1");
    EXPECT_EQ(eval::shelter(g3, eval::W, sq("g1")), 3 + 2 + 3);
    // Queen side without the b-pawn halves too.
    const Board noB = boardFrom("4k3/8/8/8/8/8/P1P5/1K6 w - - 0 1");
    EXPECT_EQ(eval::shelter(noB, eval::W, sq("b1")), 6 / 2);
}

} // namespace
