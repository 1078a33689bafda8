// Make-move bookkeeping: each special move against the same position read
// from FEN, plus the fields FEN does not carry.
#include <gtest/gtest.h>

#include <string>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/repetition.h"
#include "board_fixture.h"

namespace {

// Plays the move named by text (it must be legal) and checks the incremental
// state against the position read from expectedFen.
Board playAndCompare(const char* fen, const char* move, const char* expectedFen) {
    Board b = boardFrom(fen);
    Move m = legalMove(b, move);
    EXPECT_NE(m, NO_MOVE) << move << " not legal in " << fen;
    makeMove(b, m);
    Board want = boardFrom(expectedFen);
    EXPECT_EQ(fenOf(b), fenOf(want)) << move;
    EXPECT_EQ(b.boardkey, want.boardkey) << move;
    EXPECT_EQ(b.wMat, want.wMat) << move;
    EXPECT_EQ(b.bMat, want.bMat) << move;
    EXPECT_EQ(b.lazy, want.lazy) << move;
    EXPECT_EQ(b.totalMat, want.totalMat) << move;
    EXPECT_EQ(b.occupied, want.occupied) << move;
    for (int kind = PAWN; kind <= KING; ++kind)
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(b.pieceBB[kind][side], want.pieceBB[kind][side]) << move << " kind " << kind;
    for (int kind = KNIGHT; kind <= QUEEN; ++kind)
        for (int ci = 0; ci < 2; ++ci)
            EXPECT_EQ(b.pieceCount[ci][kind], want.pieceCount[ci][kind]) << move;
    EXPECT_EQ(b.kingSq[0], want.kingSq[0]);
    EXPECT_EQ(b.kingSq[1], want.kingSq[1]);
    return b;
}

} // namespace

TEST(MakeMove, DoublePushSetsEnPassantAndRecordsTheKey) {
    Board b = boardFrom(START_FEN);
    unsigned e2e4 = 11 | 27 << 6 | 0x8000;
    ASSERT_EQ(legalMove(b, "e2e4"), e2e4);
    makeMove(b, e2e4 | 0xABCD0000u); // bits above 16 are ignored
    EXPECT_EQ(b.enpassant, 19);
    EXPECT_EQ(b.halfmoveClock, 0);
    EXPECT_EQ(b.gamePly, 1);
    EXPECT_EQ(b.recaptureSq, 255);
    Board want = boardFrom("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(b.boardkey, want.boardkey);
    EXPECT_EQ(repetitionRing.keys[1], b.boardkey);
}

TEST(MakeMove, CastlingMovesTheRookAndDropsTheRights) {
    const char* fen = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 3 10";
    Board b = playAndCompare(fen, "e1g1", "r3k2r/8/8/8/8/8/8/R4RK1 b kq - 4 10");
    EXPECT_EQ(b.kingSq[0], G1);
    EXPECT_EQ(b.squares[F1], ROOK);
    EXPECT_EQ(b.squares[H1], EMPTY);
    EXPECT_EQ(b.recaptureSq, G1); // a king move counts as an even trade
    playAndCompare(fen, "e1c1", "r3k2r/8/8/8/8/8/8/2KR3R b kq - 4 10");
    const char* black = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 10";
    playAndCompare(black, "e8g8", "r4rk1/8/8/8/8/8/8/R3K2R w KQ - 1 11");
    playAndCompare(black, "e8c8", "2kr3r/8/8/8/8/8/8/R3K2R w KQ - 1 11");
}

TEST(MakeMove, RookMovesAndRookCapturesRemoveTheirRights) {
    // The king-side right alone accounts for exactly its castle key.
    Board all = boardFrom("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Board noK = boardFrom("r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1");
    EXPECT_EQ(all.boardkey ^ noK.boardkey, zobrist.castle[CASTLE_WK]);
    Board b = playAndCompare("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "h1h5",
                             "r3k2r/8/8/7R/8/8/8/R3K3 b Qkq - 1 1");
    EXPECT_EQ(b.castle, CASTLE_WQ | CASTLE_BK | CASTLE_BQ);
    // Ra1xa8: white loses Q by moving, black loses q by the capture.
    b = playAndCompare("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "a1a8",
                       "R3k2r/8/8/8/8/8/8/4K2R b Kk - 0 1");
    EXPECT_EQ(b.castle, CASTLE_WK | CASTLE_BK);
    EXPECT_EQ(b.pieceCount[0][ROOK], 1);
    EXPECT_EQ(b.recaptureSq, A8); // rook for rook
}

TEST(MakeMove, EnPassantRemovesThePawnBehindTheTarget) {
    Board b = playAndCompare("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6",
                             "4k3/8/3P4/8/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(b.lazy, 100);
    EXPECT_EQ(b.squares[squareAt("d5")], EMPTY);
    EXPECT_EQ(b.recaptureSq, 255);
    b = playAndCompare("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1", "e4d3",
                       "4k3/8/8/8/8/3p4/8/4K3 w - - 0 2");
    EXPECT_EQ(b.lazy, -100);
    EXPECT_EQ(b.squares[squareAt("d4")], EMPTY);
}

TEST(MakeMove, PromotionsChangeMaterialAndCounts) {
    Board b =
        playAndCompare("4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8q", "Q3k3/8/8/8/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(b.wMat, 900);
    EXPECT_EQ(b.pieceCount[1][QUEEN], 1);
    // Under-promotion with capture of a castling rook.
    b = playAndCompare("4k3/8/8/8/8/8/1p6/R3K3 b Q - 0 1", "b2a1n",
                       "4k3/8/8/8/8/8/8/n3K3 w - - 0 2");
    EXPECT_EQ(b.bMat, 300);
    EXPECT_EQ(b.wMat, 0);
    EXPECT_EQ(b.castle, 0);
    EXPECT_EQ(b.pieceCount[0][KNIGHT], 1);
    EXPECT_EQ(b.pieceCount[1][ROOK], 0);
}

TEST(MakeMove, RecaptureSquareMarksEqualTrades) {
    const char* fen = "4k3/8/2b5/8/4N3/3p4/4P3/4K3 w - - 0 1";
    Board b = boardFrom(fen);
    makeMove(b, legalMove(b, "e4c5")); // quiet knight move
    EXPECT_EQ(b.recaptureSq, 255);
    b = boardFrom("4k3/8/8/2b5/4N3/8/8/4K3 w - - 0 1");
    makeMove(b, legalMove(b, "e4c5")); // knight takes bishop, 300 each
    EXPECT_EQ(b.recaptureSq, squareAt("c5"));
    b = boardFrom("4k3/8/8/8/8/3n4/4P3/4K3 w - - 0 1");
    makeMove(b, legalMove(b, "e2d3")); // pawn takes knight
    EXPECT_EQ(b.recaptureSq, 255);
    b = boardFrom(fen);
    makeMove(b, legalMove(b, "e1f1")); // quiet king step
    EXPECT_EQ(b.recaptureSq, F1);
}

TEST(MakeMove, NullMoveTwiceRestoresAllButTheEnPassantSquare) {
    Board start = boardFrom("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    U64 ringNext = repetitionRing.keys[RepetitionRing::slot(start.gamePly + 1)];
    Board b = start;
    makeMove(b, NULL_MOVE);
    EXPECT_EQ(b.toMove, WHITE);
    EXPECT_EQ(b.enpassant, 0);
    EXPECT_EQ(b.nullMoveCount, 1);
    makeMove(b, NULL_MOVE);
    EXPECT_EQ(b.toMove, BLACK);
    EXPECT_EQ(b.nullMoveCount, 2);
    EXPECT_EQ(b.boardkey, start.boardkey ^ zobrist.piece[EMPTY][0][19]);
    EXPECT_EQ(b.gamePly, start.gamePly);
    EXPECT_EQ(b.halfmoveClock, start.halfmoveClock);
    EXPECT_EQ(repetitionRing.keys[RepetitionRing::slot(start.gamePly + 1)], ringNext);
    makeMove(b, legalMove(b, "g8f6"));
    EXPECT_EQ(b.nullMoveCount, 0);
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
