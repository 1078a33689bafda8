// The driver: lazy cut-off, hash and damping, and the terms it computes itself.
#include <cstring>
#include <vector>

#include "board/bitboard.h"
#include "board/tables.h"
#include "eval/evalhash.h"
#include "eval/evaluate.h"
#include "eval_support.h"

namespace {

using namespace evaltest;
using eval::EvalTrace;

class Driver : public EvalTest {};

TEST_F(Driver, StartPositionIsZeroForEitherSideToMove) {
    EXPECT_EQ(freshEval(boardFrom(START_FEN)), 0);
    EXPECT_EQ(freshEval(boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1")), 0);
    const EvalTrace t = traceOf(START_FEN);
    EXPECT_EQ(t.shelter.white, 12);
    EXPECT_EQ(t.shelter.black, 12);
    EXPECT_EQ(t.shelterValue[0], 9);
    EXPECT_EQ(t.shelterValue[1], 9);
}

// White to move and black to move, a score that 50 does not divide.
TEST_F(Driver, FiftyMoveDampingStartsAfterFiftyPlies) {
    for (const char* side : {"w", "b"}) {
        const std::string base = std::string("4k3/ppp5/8/8/3P4/8/5PPP/R3K3 ") + side + " - - ";
        const int plain = freshEval(boardFrom(base + "0 40"));
        ASSERT_NE(plain % 50, 0) << "pick a position whose score shows the truncation";
        EXPECT_EQ(freshEval(boardFrom(base + "50 40")), plain);
        EXPECT_EQ(freshEval(boardFrom(base + "51 40")), plain * 49 / 50);
        EXPECT_EQ(freshEval(boardFrom(base + "60 40")), plain * 40 / 50);
        EXPECT_EQ(freshEval(boardFrom(base + "99 40")), plain * 1 / 50);
        EXPECT_EQ(freshEval(boardFrom(base + "100 40")), 0);
        EXPECT_EQ(freshEval(boardFrom(base + "400 40")), 0);
    }
}

class WithHash : public Driver {
  protected:
    void SetUp() override {
        Driver::SetUp();
        std::memset(entries, 0, sizeof entries);
        hash.attach(entries, 1021);
        initEvaluation(&hash);
    }
    void TearDown() override {
        initEvaluation(nullptr);
        Driver::TearDown();
    }
    bool hashUntouched() const {
        for (U64 e : entries)
            if (e) return false;
        return true;
    }
    U64 entries[1021];
    EvalHash hash;
};

TEST_F(WithHash, HashHitIsDampedToo) {
    Board white = boardFrom("4k3/8/8/8/8/8/4P3/4K3 w - - 60 70");
    Board black = boardFrom("4k3/8/8/8/8/8/4P3/4K3 b - - 60 70");
    hash.store(white.boardkey, 100);
    hash.store(black.boardkey, 100);
    white.positional = black.positional = 0;
    lastPositional = 0;
    EXPECT_EQ(evaluate(white, -16000, 16000), 80);
    EXPECT_EQ(evaluate(black, -16000, 16000), -80);

    hash.store(white.boardkey, -101); // -80.8 truncates toward zero
    EXPECT_EQ(evaluate(white, -16000, 16000), -80);
    white.halfmoveClock = 51;
    hash.store(white.boardkey, 100);
    EXPECT_EQ(evaluate(white, -16000, 16000), 98);
    white.halfmoveClock = 50;
    EXPECT_EQ(evaluate(white, -16000, 16000), 100);
}

TEST_F(WithHash, FullEvaluationStoresWhiteMindedScoreAndHitRepeatsIt) {
    Board board = boardFrom("4k3/ppp5/8/8/3P4/8/5PPP/R3K3 b - - 60 40");
    hash.clear(); // reading the FEN evaluated it once already
    board.positional = 0;
    lastPositional = 0;
    const int first = evaluate(board, -16000, 16000);
    const std::int32_t stored = hash.probe(board.boardkey);
    ASSERT_NE(stored, TT_NO_CUTOFF);
    const int white = static_cast<std::int16_t>(stored & 0xFFFF);
    EXPECT_EQ(white, board.lazy + board.positional);
    EXPECT_EQ(first, -(white * 40 / 50));
    EXPECT_EQ(lastPositional, board.positional);

    // A hit answers without evaluating: the positional estimates stay put.
    board.positional = 1234;
    lastPositional = 4321;
    EXPECT_EQ(evaluate(board, -16000, 16000), first);
    EXPECT_EQ(board.positional, 1234);
    EXPECT_EQ(lastPositional, 4321);
}

TEST_F(WithHash, LazyCutOffNeedsBothEstimatesAndLeavesTheHashAlone) {
    // White is a rook up: lazy = 500.
    Board board = boardFrom("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    ASSERT_EQ(board.lazy, 500);
    Board black = boardFrom("4k3/8/8/8/8/8/8/R3K3 b - - 0 1");
    hash.clear(); // reading a FEN evaluates the position once
    board.positional = 0;
    lastPositional = 0;
    EXPECT_EQ(evaluate(board, 676, 700), 676); // 500 + 175 < 676
    EXPECT_TRUE(hashUntouched());
    EXPECT_EQ(board.positional, 0);
    EXPECT_EQ(lastPositional, 0);
    EXPECT_EQ(evaluate(board, -700, 324), 324); // 500 - 175 > 324
    EXPECT_TRUE(hashUntouched());

    // Black to move sees -500.
    black.positional = 0;
    EXPECT_EQ(evaluate(black, -324, 0), -324);
    EXPECT_EQ(evaluate(black, -1000, -676), -676);
    EXPECT_TRUE(hashUntouched());

    // One estimate inside the margin is enough to evaluate in full.
    board.positional = 10;
    evaluate(board, 676, 700);
    EXPECT_FALSE(hashUntouched());
    hash.clear();
    board.positional = 0;
    lastPositional = 10;
    evaluate(board, 676, 700);
    EXPECT_FALSE(hashUntouched());
    hash.clear();
    lastPositional = 0;
    evaluate(board, 675, 700); // 675 is not below alpha
    EXPECT_FALSE(hashUntouched());
}

TEST_F(Driver, UncastledPenaltyInTheOpening) {
    EvalTrace t = traceOf("rnbqkbnr/pppppppp/8/8/8/5N2/PPPPBPPP/RNBQ1RK1 w kq - 0 1");
    ASSERT_TRUE(t.opening);
    EXPECT_EQ(t.castling.white, 0);  // king g1, rook f1
    EXPECT_EQ(t.castling.black, -6); // king e8 between its rooks
    t = traceOf("r1bqbrk1/pppppppp/2n5/8/8/2N5/PPPPPPPP/2KRQBNR w - - 0 1");
    EXPECT_EQ(t.castling.white, 0); // king c1, rook d1
    EXPECT_EQ(t.castling.black, 0);
    t = traceOf("rnbq1bnr/ppppkppp/8/8/8/8/PPPPPPPP/1KRQ1BNR w - - 0 1");
    EXPECT_EQ(t.castling.white, 0); // king b1, rook c1
    EXPECT_EQ(t.castling.black, -6);
    t = traceOf("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1KNR w - - 0 1");
    EXPECT_EQ(t.castling.white, -6); // king f1 is not a castled square
}

TEST_F(Driver, OpeningTermsNeedMoreThanSeventyPawnsOfMaterial) {
    EvalTrace t = traceOf("rnbqkbnr/pppppppp/8/8/8/8/1PPPPPPP/R1BQKB1R w KQkq - 0 1");
    EXPECT_TRUE(t.opening); // 7100
    t = traceOf("rnbqkbnr/pppppppp/8/8/8/8/2PPPPPP/R1BQKB1R w KQkq - 0 1");
    EXPECT_FALSE(t.opening); // 7000
    EXPECT_EQ(t.castling.white, 0);
    EXPECT_TRUE(t.shelterPhase);
    t = traceOf("rnbqkbnr/pppppppp/8/8/8/8/P1PPPPPP/2BQKB2 w kq - 0 1");
    EXPECT_TRUE(t.shelterPhase); // 6100
    t = traceOf("rnbqkbnr/pppppppp/8/8/8/8/2PPPPPP/2BQKB2 w kq - 0 1");
    EXPECT_FALSE(t.shelterPhase); // 6000
    t = traceOf("1nbqk2r/8/8/8/8/8/8/1NBQK2R w - - 0 1");
    EXPECT_TRUE(t.knightOnlyPhase); // 4000
    EXPECT_FALSE(t.kingReachPhase);
    t = traceOf("2bqk2r/pp6/8/8/8/8/8/1NBQK2R w - - 0 1");
    EXPECT_TRUE(t.kingReachPhase); // 3900
}

TEST_F(Driver, DevelopmentWeightCountsMinorsOnTheFirstRank) {
    eval::weights.developmentWeight = -5;
    const EvalTrace t = traceOf("r1bqkb1r/pppppppp/2n2n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq - 0 1");
    EXPECT_EQ(t.development.white, -15); // b1, c1, f1
    EXPECT_EQ(t.development.black, -10); // c8, f8
}

TEST_F(Driver, BlockedCentrePawns) {
    const EvalTrace t = traceOf("rnbqkbnr/ppp1pppp/3p4/8/8/3BN3/PPPPPPPP/RNBQK2R w KQkq - 0 1");
    EXPECT_EQ(t.blockedCentre.white, -24); // d2 under d3, e2 under e3
    EXPECT_EQ(t.blockedCentre.black, 0);   // d7 has moved, e7's e6 is free
}

TEST_F(Driver, MinorPieceImbalance) {
    // Three black minors against the white queen: -(9 - 1 - 2) * 71 / 9.
    const std::string threeMinors = "rnb1kb1r/pppppppp/8/8/8/8/PPPPPPPP/R2QK2R w KQkq - 0 1";
    EXPECT_EQ(traceOf(threeMinors).minorImbalance, -47);
    EXPECT_EQ(traceOf(mirrorFen(threeMinors)).minorImbalance, 47);
    // A third white rook breaks both conditions of the big imbalance.
    EXPECT_EQ(traceOf("rnb1kb1r/pppppppp/8/8/8/8/PPPPPPPP/R2QKR1R w - - 0 1").minorImbalance, 0);
    // Two minors down, queens and rooks level: -(6 * 40 / 9) = -26.
    EXPECT_EQ(traceOf("rnbqkb1r/pppppppp/8/8/8/8/PPPPPPPP/R1BQK2R w - - 0 1").minorImbalance, -26);
    // One minor down counts only while the stronger side keeps a pawn.
    EXPECT_EQ(traceOf("rnbqkb1r/pppppppp/8/8/8/8/PPPPPPPP/R1BQKB1R w - - 0 1").minorImbalance, -26);
    EXPECT_EQ(traceOf("rnbqkb1r/8/8/8/8/8/PPPPPPPP/R1BQKB1R w - - 0 1").minorImbalance, 0);
    EXPECT_EQ(traceOf(mirrorFen("rnbqkb1r/8/8/8/8/8/PPPPPPPP/R1BQKB1R w - - 0 1")).minorImbalance,
              0);
    // Equal minors and queens: the side with more rooks pays -44 a rook.
    EXPECT_EQ(traceOf("rnbqkbn1/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1").minorImbalance, -44);
    EXPECT_EQ(traceOf("1nbqkbn1/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1").minorImbalance, -88);
}

TEST_F(Driver, ShelterBlendByPhaseAndCastlingRights) {
    // 7200 material. White without rights: its king's own shelter on g1 is
    // 3 + 3 (f2, g2) + 2 (h3 ahead of h2) = 8, weighted 2 * 8 * 1200 / 1800 = 10.
    // Black keeps both rights: max(shelter g8, b8) = 9, weighted
    // 2 * 9 * 2400 / 3 / 1800 = 8.
    const EvalTrace t = traceOf("rnbqkbnr/pppppppp/8/8/8/7P/PPPPPPP1/RNBQ1RK1 w kq - 0 1");
    ASSERT_TRUE(t.shelterPhase);
    EXPECT_EQ(t.shelterValue[0], 8);
    EXPECT_EQ(t.shelterValue[1], 9);
    EXPECT_EQ(t.shelter.white, 10);
    EXPECT_EQ(t.shelter.black, 8);
    // The danger base is the missing shelter: (9 - 8) * 8 / 9 = 0, (9 - 9) = 0.
    EXPECT_EQ(t.dangerIndex[0], t.kingAttackCount[0]);
    EXPECT_EQ(t.dangerIndex[1], t.kingAttackCount[1]);
}

TEST_F(Driver, KnightOnlyEndgameNeedsPawnsOnBothWings) {
    EvalTrace t = traceOf("8/p5k1/8/8/8/8/6PP/4N1K1 w - - 0 1");
    ASSERT_TRUE(t.knightOnlyPhase);
    EXPECT_EQ(t.knightOnly.white, -12);
    EXPECT_EQ(t.knightOnly.black, -12); // a bare king has no long-range piece either
    t = traceOf("8/p5k1/8/8/8/1r6/6PP/4N1K1 w - - 0 1");
    EXPECT_EQ(t.knightOnly.white, -12);
    EXPECT_EQ(t.knightOnly.black, 0);
    t = traceOf("8/6kp/8/8/8/8/6PP/4N1K1 w - - 0 1");
    EXPECT_EQ(t.knightOnly.white, 0);
    EXPECT_EQ(t.knightOnly.black, 0);
}

// The danger table's index is (9 - shelter) * weights.shelterDangerWeight / 9 plus
// the attack count; without a shelter phase and without attackers it equals
// weights.shelterDangerWeight, which lets the table be read at any index.
TEST_F(Driver, DangerTableTruncatesAndClampsAtFifty) {
    eval::weights.dangerShiftQueen = eval::weights.dangerShiftRook =
        eval::weights.dangerShiftBishop = 0;
    const struct {
        int index;
        int penalty;
    } cases[] = {{-9, 0},    {0, 0},     {13, -31},  {30, -203},
                 {49, -290}, {50, -290}, {51, -290}, {400, -290}};
    for (const auto& c : cases) {
        eval::weights.shelterDangerWeight = c.index;
        const EvalTrace t = traceOf("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
        EXPECT_EQ(t.dangerIndex[0], c.index);
        EXPECT_EQ(t.kingDanger.white, c.penalty) << c.index;
        EXPECT_EQ(t.kingDanger.black, c.penalty) << c.index;
    }
    eval::weights.kingDangerTable[50] = 60; // index 50 reads the table, beyond it the clamp
    eval::weights.shelterDangerWeight = 50;
    EXPECT_EQ(traceOf("4k3/8/8/8/8/8/8/4K3 w - - 0 1").kingDanger.white, -174);
    eval::weights.shelterDangerWeight = 51;
    EXPECT_EQ(traceOf("4k3/8/8/8/8/8/8/4K3 w - - 0 1").kingDanger.white, -290);
}

// White's penalty takes the bishop shift once black lacks queen and rook;
// black's only when white also has no bishop.
TEST_F(Driver, DangerShiftsAsTheAttackersLeave) {
    eval::weights.shelterDangerWeight = 13; // penalty -31 before shifts
    EvalTrace t = traceOf("4k3/8/8/8/8/8/8/B3K3 w - - 0 1");
    ASSERT_EQ(t.dangerIndex[0], 13);
    ASSERT_EQ(t.dangerIndex[1], 13);
    EXPECT_EQ(t.kingDanger.white, -1); // -31 >> 2 >> 1 >> 3
    EXPECT_EQ(t.kingDanger.black, -4); // -31 >> 2 >> 1
    // A black bishop does not spare white's king the last shift.
    t = traceOf("b3k3/8/8/8/8/8/8/4K3 w - - 0 1");
    ASSERT_EQ(t.dangerIndex[0], 13);
    EXPECT_EQ(t.kingDanger.white, -1);
    EXPECT_EQ(t.kingDanger.black, -1);
    t = traceOf("4k3/8/8/8/8/8/P7/RK6 w - - 0 1");
    ASSERT_EQ(t.dangerIndex[1], 13);
    EXPECT_EQ(t.kingDanger.black, -8); // white keeps a rook: queen shift only
}

TEST_F(Driver, QueenTropismReachesASafeCheckingSquare) {
    // The queen on a1 is far from h8 (0) but attacks g7 beside the king (1)
    // and the checking squares g7 and a8 that nothing guards (6).
    const EvalTrace t = traceOf("7k/8/8/8/8/8/8/Q3K3 w - - 0 1");
    EXPECT_EQ(t.kingAttackCount[1], 6);
    EXPECT_EQ(t.kingAttackCount[0], 0);
    EXPECT_EQ(t.dangerIndex[1], 8 + 6);
    EXPECT_EQ(t.kingDanger.black, 13 * -29 / 10);
    EXPECT_EQ(t.kingDanger.white, -1); // -8 >> 2 >> 1 >> 3
}

TEST_F(Driver, KnightTropismRaisedForAKnightCheckSquare) {
    // d6 is four steps from h8 (2), but it attacks f7, a knight check square.
    EXPECT_EQ(traceOf("7k/8/3N4/8/8/8/8/4K3 w - - 0 1").kingAttackCount[1], 3);
    EXPECT_EQ(traceOf("7k/8/8/3N4/8/8/8/4K3 w - - 0 1").kingAttackCount[1], 2);
}

// The flood of a king boxed in by its own pawns and an enemy rook's file.
TEST_F(Driver, KingReachFloodStopsAtForbiddenSquares) {
    const EvalTrace t = traceOf("2r4k/8/8/8/8/8/PP6/K7 w - - 0 1");
    ASSERT_TRUE(t.kingReachPhase);
    const U64 box = bit(sq("a1")) | bit(sq("b1")) | bit(sq("a2")) | bit(sq("b2"));
    // White settles on its corner plus c1 and c2, stepped onto but not crossed.
    EXPECT_EQ(t.reachRegion[0], box | bit(sq("c1")) | bit(sq("c2")));
    EXPECT_EQ(t.reachUsable[0], box);
    // Black floods everything it can reach around the white corner.
    EXPECT_EQ(t.reachRegion[1], ~box);
    EXPECT_EQ(t.reachUsable[1], ~box & ~(bit(sq("a3")) | bit(sq("b3")) | bit(sq("c3"))));
    EXPECT_EQ(t.reachPawns[0], 0);
    EXPECT_EQ(t.reachPawns[1], 0);
}

TEST_F(Driver, KingReachCountsPawnsOnlyOneKingReaches) {
    // The black pawn on g2 lies in the white king's region; the black king on
    // a4 is too far. 11 * 1 * (5000 - 100) / 5000 = 10.
    EvalTrace t = traceOf("8/8/8/8/k7/8/6p1/6K1 w - - 0 1");
    ASSERT_TRUE(t.kingReachPhase);
    EXPECT_EQ(t.reachPawns[0], 1);
    EXPECT_EQ(t.reachPawns[1], 0);
    EXPECT_EQ(t.kingReach, 10);
    t = traceOf(mirrorFen("8/8/8/8/k7/8/6p1/6K1 w - - 0 1"));
    EXPECT_EQ(t.reachPawns[1], 1);
    EXPECT_EQ(t.kingReach, -10);
}

} // namespace
