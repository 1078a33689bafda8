// Pawn structure, candidate passers and passed pawns on hand-built positions.
#include "board/bitboard.h"
#include "eval_support.h"

namespace {

using namespace evaltest;
using eval::EvalTrace;

class Pawns : public EvalTest {};

TEST_F(Pawns, LoneCentrePawnIsIsolatedAndPassed) {
    const EvalTrace t = traceOf("4k3/8/8/8/4P3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(t.pawns.white, 15 - 1); // e4's square value, isolated
    EXPECT_EQ(t.pawns.black, 0);
    EXPECT_EQ(t.passedPawns, bit(sq("e4")));
    EXPECT_EQ(t.candidatePawns, 0u);
}

TEST_F(Pawns, DoubledIsolatedPawnsOnlyTheRearOneIsDoubled) {
    const EvalTrace t = traceOf("4k3/8/8/8/8/2P5/2P5/4K3 w - - 0 1");
    EXPECT_EQ(t.pawns.white, 4 + 0 - 1 - 1 - 17); // c3, c2, both isolated, c2 doubled
    EXPECT_EQ(t.passedPawns, bit(sq("c3")) | bit(sq("c2")));
    const EvalTrace m = traceOf(mirrorFen("4k3/8/8/8/8/2P5/2P5/4K3 w - - 0 1"));
    EXPECT_EQ(m.pawns.black, t.pawns.white);
    EXPECT_EQ(m.pawns.white, 0);
}

// d3 cannot advance (d4 is covered twice by c5 and e5) and no pawn can come
// to support it; both black pawns are stuck the same way. 3200 material.
TEST_F(Pawns, BackwardPawnsScaleByMaterialWithSeparateTruncation) {
    const EvalTrace t = traceOf("r2qk3/8/8/2p1p3/4P3/3P4/8/R2QK3 w - - 0 1");
    // White: d3 backward on a file without black pawns, in the centre:
    // -2*3200/7800 = 0, -27*3200/7800 = -11, -8*3200/7800 = -3.
    EXPECT_EQ(t.pawns.white, 7 + 15 - 14);
    // Black: c5 (open file) and e5 backward, both central and isolated:
    // -4*3200/7800 = -1, -11, -16*3200/7800 = -6.
    EXPECT_EQ(t.pawns.black, 8 + 15 - 1 - 1 - 18);
    EXPECT_EQ(t.passedPawns, 0u);
}

TEST_F(Pawns, NoBackwardPawnsWithTwentyPawnsOfMaterialOrLess) {
    // 2300 material: d3 still counts, -2*2300/7800 = 0, -27*2300/7800 = -7,
    // -8*2300/7800 = -2.
    EXPECT_EQ(traceOf("r3k3/8/8/2p1p3/4P3/3P4/8/R2QK3 w - - 0 1").pawns.white, 7 + 15 - 9);
    // 2000 exactly: no backward test.
    ASSERT_EQ(boardFrom("r3k3/8/8/2p1p3/4P3/3P4/8/RN2KN2 w - - 0 1").totalMat, 2000);
    EXPECT_EQ(traceOf("r3k3/8/8/2p1p3/4P3/3P4/8/RN2KN2 w - - 0 1").pawns.white, 7 + 15);
}

TEST_F(Pawns, CandidatePasserScaledByTheDefendersPieces) {
    // d5 faces only e6, with c4 behind it; b5 keeps c4 from being passed.
    const std::string bare = "7k/8/4p3/1p1P4/2P5/8/8/7K w - - 0 1";
    EvalTrace t = traceOf(bare);
    ASSERT_EQ(t.candidatePawns, bit(sq("d5")));
    ASSERT_EQ(t.passedPawns, 0u);
    EXPECT_EQ(t.candidates.white, 27); // 12 * 6 / 4 = 18, * 6 / 4 = 27
    EXPECT_EQ(t.candidateTotal, 27);
    EXPECT_EQ(traceOf("b6k/8/4p3/1p1P4/2P5/8/8/7K w - - 0 1").candidates.white, 18);
    EXPECT_EQ(traceOf("q6k/8/4p3/1p1P4/2P5/8/8/7K w - - 0 1").candidates.white, 12);
    const EvalTrace m = traceOf(mirrorFen(bare));
    EXPECT_EQ(m.candidatePawns, bit(sq("d4")));
    EXPECT_EQ(m.candidates.black, 27);
    EXPECT_EQ(m.candidateTotal, -27);
}

TEST_F(Pawns, CandidatesOnlyPastTheFourthRank) {
    const std::string low = "7k/8/8/8/1p2p3/3P4/2P5/7K w - - 0 1";
    EXPECT_EQ(traceOf(low).candidatePawns, 0u);
    EXPECT_EQ(traceOf(mirrorFen(low)).candidatePawns, 0u);
    // One rank further up d4 qualifies (it is on the fourth rank).
    EXPECT_EQ(traceOf("7k/8/8/1p2p3/3P4/2P5/8/7K w - - 0 1").candidatePawns, bit(sq("d4")));
}

// 36 * 56 / 10 + 6 * (-8) / 10 - 56 = 141; free stop square +16; the black
// king is outside the square and black has no pieces: 23 * 4/4 * 24/4 = 138.
// Kings at equal distance leave 295; scaled by (15600 - 100) / 15600.
TEST_F(Pawns, PassedPawnOnTheSeventhRank) {
    EvalTrace t = traceOf("8/P7/8/8/8/8/8/K5k1 w - - 0 1");
    EXPECT_EQ(t.passed.white, 295);
    EXPECT_EQ(t.passedTotal, 293);
    // Blocked by a knight instead: 141 - 11 + 138, scaled by 15200 / 15600.
    t = traceOf("n7/P7/8/8/8/8/8/K5k1 w - - 0 1");
    EXPECT_EQ(t.passed.white, 268);
    EXPECT_EQ(t.passedTotal, 261);
    const EvalTrace m = traceOf(mirrorFen("n7/P7/8/8/8/8/8/K5k1 w - - 0 1"));
    EXPECT_EQ(m.passed.black, 268);
    EXPECT_EQ(m.passedTotal, -261);
}

// e5 needs three moves; the king on a4 is four steps from e8. With white to
// move it is outside the square, with black to move it catches the pawn.
TEST_F(Pawns, RuleOfTheSquareDependsOnTheSideToMove) {
    EXPECT_EQ(traceOf("8/8/8/4P3/k7/8/8/7K w - - 0 1").passed.white, 30 + 16 + 138);
    EXPECT_EQ(traceOf("8/8/8/4P3/k7/8/8/7K b - - 0 1").passed.white, 30 + 16);
    EXPECT_EQ(traceOf(mirrorFen("8/8/8/4P3/k7/8/8/7K w - - 0 1")).passed.black, 184);
    EXPECT_EQ(traceOf(mirrorFen("8/8/8/4P3/k7/8/8/7K b - - 0 1")).passed.black, 46);
}

TEST_F(Pawns, OnlyTheFrontPassedPawnOfAFileIsScored) {
    const EvalTrace t = traceOf("8/8/8/4P3/k7/4P3/8/7K w - - 0 1");
    EXPECT_EQ(t.passedPawns, bit(sq("e5")) | bit(sq("e3")));
    EXPECT_EQ(t.passed.white, 184);
}

// Outside the endgame the defender's region is its king's square: the king on
// e8 itself stands on the pawn's path, the king on a8 does not.
TEST_F(Pawns, KingFarUsesTheKingSquareOutsideTheEndgame) {
    const std::string near = "rnbk2n1/pp4pp/8/8/3P4/8/8/RN1QKB1R w - - 0 1";
    const std::string far = "knb3nr/pp4pp/8/8/3P4/8/8/RN1QKB1R w - - 0 1";
    eval::weights.passedKingFar = 0;
    const int nearBase = traceOf(near).passed.white;
    const int farBase = traceOf(far).passed.white;
    eval::weights.passedKingFar = 800;
    EXPECT_EQ(traceOf(near).passed.white, nearBase);
    EXPECT_GT(traceOf(far).passed.white, farBase);
}

TEST_F(Pawns, PassedTermGrowsAsMaterialLeaves) {
    const EvalTrace t = traceOf("r2qk2r/5ppp/8/8/8/8/3P4/R2QK2R w - - 0 1");
    ASSERT_NE(t.passed.white, 0);
    const int total = boardFrom("r2qk2r/5ppp/8/8/8/8/3P4/R2QK2R w - - 0 1").totalMat;
    EXPECT_EQ(t.passedTotal, (t.passed.white - t.passed.black) * (15600 - total) / 15600);
}

} // namespace
