// The generators and make-move on what no game produces: the quiescence
// list's terminator, lists longer than any position allows, and a captured
// king. Ordinary generation and make-move are pinned by the perft counts and
// the incremental-state comparison.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board_fixture.h"

namespace {

std::vector<std::string> texts(const MoveList& list, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(moveString(list.moves[i]));
    return out;
}

} // namespace

TEST(CaptureScores, QuiescenceCutsLosingCapturesBehindTheTerminator) {
    // Qxd5 (defended knight) loses, exd5 wins, Qxh5 is free.
    Board b = boardFrom("4k3/8/4p3/3n3r/4P3/8/8/3QK3 w - - 0 1");
    MoveList list;
    int n = generateCaptures(b, list);
    EXPECT_EQ(texts(list, n), (std::vector<std::string>{"d1h5", "e4d5", "d1d5"}));
    n = generateQuiescence(b, list);
    EXPECT_EQ(texts(list, n), (std::vector<std::string>{"d1h5", "e4d5"}));
    EXPECT_EQ(list.moves[2], NO_MOVE);
    b = boardFrom(START_FEN);
    EXPECT_EQ(generateQuiescence(b, list), 0);
    EXPECT_EQ(list.moves[0], NO_MOVE);
}

// A board no FEN can make: 64 white queens on an empty-looking board facing
// 64 black pieces. Far more than 255 moves of every kind; nothing may be
// written past the lists, which sit at the end of their own allocations.
TEST(Capacity, GeneratorsNeverWritePastTheList) {
    Board b = boardFrom("8/8/8/8/8/8/8/8 w - - 0 1");
    b.pieceBB[QUEEN][0] = ~U64{0};
    b.colourBB[1] = ~U64{0};
    b.occupied = 0;
    std::unique_ptr<MoveList> list(new MoveList);
    EXPECT_EQ(generateQuiet(b, *list), MOVELIST_CAPACITY - 1);
    EXPECT_EQ(list->moves[MOVELIST_CAPACITY - 1], NO_MOVE);
    EXPECT_EQ(generateCaptures(b, *list), MOVELIST_CAPACITY - 1);
    EXPECT_LE(generateQuiescence(b, *list), MOVELIST_CAPACITY - 1);
    EXPECT_EQ(generateOrdered(b, *list), MOVELIST_CAPACITY - 1);
    std::unique_ptr<Move[]> legal(new Move[MOVELIST_CAPACITY]);
    EXPECT_LE(generateLegal(b, legal.get()), MOVELIST_CAPACITY - 1);
}

TEST(MakeMove, KingCaptureIsReportedAndPlayedOn) {
    Board b = boardFrom("4k3/4Q3/8/8/8/8/8/4K3 w - - 0 1");
    testing::internal::CaptureStdout();
    makeMove(b, plainMove("e7e8"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\n king has been captured! Move=e7e8\n", 0), 0u) << out;
    EXPECT_EQ(b.pieceBB[KING][1], 0u);
    EXPECT_EQ(b.pieceCount[0][QUEEN], 0);
    EXPECT_EQ(b.pieceCount[1][QUEEN], 1);

    b = boardFrom("4k3/8/8/8/8/8/4q3/4K3 b - - 0 1");
    testing::internal::CaptureStdout();
    makeMove(b, plainMove("e2e1"));
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\n king has been captured!\ne2e1\n", 0), 0u) << out;
}
