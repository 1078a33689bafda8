#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/position_check.h"
#include "board/board.h"
#include "board/ordering.h"
#include "board/repetition.h"
#include "board/tables.h"

namespace {

void initTables() {
    static bool done = false;
    if (done) return;
    static OrderingTables ordering{};
    static Board start;
    initBoardTables(&ordering, start);
    done = true;
}

class PositionCheck : public ::testing::Test {
  protected:
    void SetUp() override { initTables(); }
};

TEST_F(PositionCheck, RefusesWhatTheSearchCannotPlayFrom) {
    const char* refused[] = {
        "8/8/8/8/8/8/8/K7 w - - 0 1",                                // no black king
        "k7/8/8/8/8/8/8/8 b - - 0 1",                                // no white king
        "kk6/8/8/8/8/8/8/K7 w - - 0 1",                              // two black kings
        "k7/8/8/8/8/8/8/KK6 w - - 0 1",                              // two white kings
        "k7/8/8/8/8/8/8/K6P w - - 0 1",                              // pawn on the first rank
        "k6p/8/8/8/8/8/8/K7 w - - 0 1",                              // pawn on the eighth rank
        "k3R3/8/8/8/8/8/8/K7 w - - 0 1",                             // black, not to move, in check
        "k7/8/8/8/8/8/8/K3r3 b - - 0 1",                             // white, not to move, in check
        "k7/8/8/8/8/8/PPPPPPPP/KNNNNNNN w - - 0 1",                  // 17 white men
        "k7/8/8/8/8/8/PPPPPPPP/KQQNNB2 w - - 0 1",                   // two queens, all pawns left
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w KQkq - 0 1", // ninth rank
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1",   // short rank
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1", // seven ranks
        "rnbqkxnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "",
        "   ",
    };
    for (const char* fen : refused) {
        Board b;
        setStartPosition(b);
        const Board before = b;
        const RepetitionRing ringBefore = repetitionRing;
        EXPECT_FALSE(loadPlayablePosition(b, fen)) << fen;
        EXPECT_EQ(std::memcmp(&b, &before, sizeof b), 0) << fen;
        EXPECT_EQ(std::memcmp(&repetitionRing, &ringBefore, sizeof ringBefore), 0) << fen;
    }
}

TEST_F(PositionCheck, AcceptsOrdinaryAndPromotedPositions) {
    const char* accepted[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "  4k3/P7/8/8/8/8/8/4K3 w - - 0 60\n",
        "k7/8/8/8/8/8/2PPPPPP/KQQNNB2 w - - 0 1", // one extra queen for two missing pawns
        "k7/8/8/8/8/8/8/K3R3 w - - 0 1",          // the side to move may be in check... of nobody
        "4k3/8/8/8/8/8/8/4K2r w - - 0 1",         // white to move, in check
        "8/8/8/8/8/8/8/k6K",                      // placement alone
    };
    for (const char* fen : accepted) {
        Board b;
        setStartPosition(b);
        EXPECT_TRUE(loadPlayablePosition(b, fen)) << fen;
        Board direct;
        setFromFen(direct, fen);
        EXPECT_EQ(b.boardkey, direct.boardkey) << fen;
    }
}

TEST_F(PositionCheck, DropsCastlingAndEnPassantThatCannotBe) {
    Board b;
    // The h1 rook is missing and the black king has moved.
    ASSERT_TRUE(loadPlayablePosition(b, "r2k3r/8/8/8/8/8/8/R3K3 w KQkq - 0 1"));
    EXPECT_EQ(b.castle, CASTLE_WQ);
    Board expected;
    setFromFen(expected, "r2k3r/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_EQ(b.boardkey, expected.boardkey);

    // A rook of the wrong colour on h8 gives no right.
    ASSERT_TRUE(loadPlayablePosition(b, "4k2R/8/8/8/8/8/8/4K3 b k - 0 1"));
    EXPECT_EQ(b.castle, 0);

    // e3 is a real en-passant square after e2e4; d6 without a black pawn on d5 is not.
    ASSERT_TRUE(
        loadPlayablePosition(b, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
    EXPECT_EQ(b.enpassant, squareOf(4, 2));
    ASSERT_TRUE(
        loadPlayablePosition(b, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2"));
    EXPECT_EQ(b.enpassant, 0);
    setFromFen(expected, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2");
    EXPECT_EQ(b.boardkey, expected.boardkey);
    // An en-passant square on the wrong rank for the side to move.
    ASSERT_TRUE(
        loadPlayablePosition(b, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3 0 2"));
    EXPECT_EQ(b.enpassant, 0);
    // The pawn's start square is occupied: it cannot have double-stepped.
    ASSERT_TRUE(loadPlayablePosition(b, "4k3/3p4/8/3pP3/8/8/8/4K3 w - d6 0 2"));
    EXPECT_EQ(b.enpassant, 0);
    ASSERT_TRUE(loadPlayablePosition(b, "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2"));
    EXPECT_EQ(b.enpassant, squareOf(3, 5));
}

TEST_F(PositionCheck, ArbitraryBytesNeverCrash) {
    std::string text;
    unsigned x = 12345;
    for (int i = 0; i < 2000; ++i) {
        text.clear();
        int n = static_cast<int>((x = x * 1103515245 + 12345) >> 16) % 90;
        for (int k = 0; k < n; ++k) {
            x = x * 1103515245 + 12345;
            const char alphabet[] = "pnbrqkPNBRQK12345678/ wb-KQkqe3 0\n";
            text += alphabet[(x >> 16) % (sizeof alphabet - 1)];
        }
        Board b;
        setStartPosition(b);
        if (loadPlayablePosition(b, text.c_str())) {
            EXPECT_TRUE(isPlayableBoard(b)) << text;
        }
    }
}

} // namespace
