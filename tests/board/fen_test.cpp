// Reading and writing FEN, and what the lenient reader makes of bad text.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/repetition.h"
#include "board_fixture.h"

namespace {

int evaluationsSeen = 0;
int countingHook(Board& b, int alpha, int beta) {
    ++evaluationsSeen;
    b.positional = 7;
    return alpha == -16000 && beta == 16000 ? 42 : -1;
}

} // namespace

TEST(FenReading, StartPositionFields) {
    Board b = boardFrom(START_FEN);
    EXPECT_EQ(b.wMat, 3900);
    EXPECT_EQ(b.bMat, 3900);
    EXPECT_EQ(b.totalMat, 7800);
    EXPECT_EQ(b.lazy, 0);
    EXPECT_EQ(b.castle, 15);
    EXPECT_EQ(b.enpassant, 0);
    EXPECT_EQ(b.gamePly, 0);
    EXPECT_EQ(b.halfmoveClock, 0);
    EXPECT_EQ(b.toMove, WHITE);
    EXPECT_EQ(b.kingSq[0], E1);
    EXPECT_EQ(b.kingSq[1], E8);
    EXPECT_EQ(b.recaptureSq, 255);
    EXPECT_EQ(b.nullMoveCount, 0);
    EXPECT_EQ(b.pieceCount[1][KNIGHT], 2);
    EXPECT_EQ(b.pieceCount[0][QUEEN], 1);
    EXPECT_EQ(b.squares[squareAt("d1")], QUEEN);
    EXPECT_EQ(b.squares[squareAt("e4")], EMPTY);
    EXPECT_EQ(b.occupied, 0xFFFF00000000FFFFull);
    EXPECT_EQ(b.colourBB[0], 0xFFFFull);
    EXPECT_EQ(b.pieceBB[ROOK][1], bit(H8) | bit(A8));
    EXPECT_EQ(fenOf(b), START_FEN);
    EXPECT_EQ(repetitionRing.keys[0], b.boardkey);
}

TEST(FenReading, SideEnPassantClocksAndEpdLines) {
    Board b = boardFrom("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(b.enpassant, 19);
    EXPECT_EQ(b.gamePly, 1);
    EXPECT_EQ(b.toMove, BLACK);

    b = boardFrom("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 12 37");
    EXPECT_EQ(b.halfmoveClock, 12);
    EXPECT_EQ(b.gamePly, 72);
    EXPECT_EQ(fenOf(b), "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 12 37");

    b = boardFrom(
        "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\";");
    EXPECT_EQ(b.halfmoveClock, 0);
    EXPECT_EQ(b.gamePly, 0);
    EXPECT_EQ(b.castle, 0);
    EXPECT_EQ(b.squares[squareAt("g3")], QUEEN);

    b = boardFrom("4k3/8/8/8/8/8/8/4K3 b - - 0 0"); // fullmove 0 counts as 1
    EXPECT_EQ(b.gamePly, 1);
}

TEST(FenReading, KeyEqualsTheKeyOfTheSamePositionReachedByMoves) {
    Board played = boardFrom(START_FEN);
    for (const char* m : {"g1f3", "g8f6", "b1c3", "b8c6"}) makeMove(played, legalMove(played, m));
    Board read = boardFrom("r1bqkb1r/pppppppp/2n2n2/8/8/2N2N2/PPPPPPPP/R1BQKB1R w KQkq - 4 3");
    EXPECT_EQ(read.boardkey, played.boardkey);
    EXPECT_EQ(fenOf(read), fenOf(played));
}

TEST(FenReading, SetSideToMoveTogglesOnlyTheSide) {
    Board b = boardFrom(START_FEN);
    Board same = b;
    setSideToMove(same, WHITE);
    EXPECT_EQ(std::memcmp(&same, &b, sizeof b), 0);
    setSideToMove(same, BLACK);
    EXPECT_EQ(same.toMove, BLACK);
    EXPECT_EQ(same.boardkey, b.boardkey ^ zobrist.side);
    EXPECT_EQ(same.boardkey,
              boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1").boardkey);
}

TEST(FenReading, EvaluatesOnceThroughTheRegisteredHook) {
    ensureBoardTables();
    evaluationsSeen = 0;
    setEvaluateHook(countingHook);
    Board b;
    setFromFen(b, START_FEN);
    EXPECT_EQ(evaluationsSeen, 1);
    EXPECT_EQ(b.positional, 7);
    setEvaluateHook(nullptr);
    setFromFen(b, START_FEN);
    EXPECT_EQ(b.positional, 0);
    EXPECT_EQ(evaluateThroughHook(b, -16000, 16000), 0);
}

// What the reader builds from text no game produces must be safe for the
// generators, make-move and the evaluation.
TEST(FenHardening, EnPassantKeptOnlyWhereADoubleStepLeftIt) {
    // Wrong rank for the side to move.
    EXPECT_EQ(boardFrom("4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 1").enpassant, 0);
    EXPECT_EQ(boardFrom("4k3/8/8/8/3Pp3/8/8/4K3 b - d6 0 1").enpassant, 0);
    // Right rank but no pawn that could have double-stepped.
    EXPECT_EQ(boardFrom("4k3/8/8/4P3/8/8/8/4K3 w - d6 0 1").enpassant, 0);
    // Start square of that pawn occupied.
    EXPECT_EQ(boardFrom("4k3/3n4/8/3pP3/8/8/8/4K3 w - d6 0 1").enpassant, 0);
    // Valid both ways.
    EXPECT_EQ(boardFrom("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1").enpassant, squareAt("d6"));
    EXPECT_EQ(boardFrom("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1").enpassant, squareAt("d3"));
    // Garbage letters.
    EXPECT_EQ(boardFrom("4k3/8/8/3pP3/8/8/8/4K3 w - z9 0 1").enpassant, 0);
}

TEST(FenHardening, CastlingRightsNeedKingAndRookAtHome) {
    EXPECT_EQ(boardFrom("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1").castle, 15);
    EXPECT_EQ(boardFrom("r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1").castle, CASTLE_WK | CASTLE_BQ);
    EXPECT_EQ(boardFrom("r2k3r/8/8/8/8/8/8/R3K2R w KQkq - 0 1").castle, CASTLE_WK | CASTLE_WQ);
    // Out-of-order letters are not taken.
    EXPECT_EQ(boardFrom("r3k2r/8/8/8/8/8/8/R3K2R w kqKQ - 0 1").castle, CASTLE_BK | CASTLE_BQ);
}

TEST(FenHardening, BackRankPawnsAreLeftOut) {
    Board b = boardFrom("P3k2p/8/8/8/8/8/8/p3K2P w - - 0 1");
    EXPECT_EQ(b.pieceBB[PAWN][0] | b.pieceBB[PAWN][1], 0u);
    EXPECT_EQ(b.squares[A8], EMPTY);
    EXPECT_EQ(b.squares[H1], EMPTY);
    EXPECT_EQ(b.wMat, 0);
    EXPECT_EQ(b.squares[E8], KING); // the rest of the rank is still placed
    EXPECT_EQ(fenOf(b), "4k3/8/8/8/8/8/8/4K3 w - - 0 1");
}

TEST(FenHardening, MissingKingsClocksAndRecapture) {
    Board b = boardFrom("8/8/8/8/8/8/8/8 w - - 99999999999 99999999999");
    EXPECT_EQ(b.kingSq[0], E1);
    EXPECT_EQ(b.kingSq[1], E8);
    EXPECT_GE(b.halfmoveClock, 100);
    EXPECT_LE(b.halfmoveClock, 1000);
    EXPECT_GT(b.gamePly, 0);
    EXPECT_LT(b.gamePly, 1 << 24);
    EXPECT_EQ(b.recaptureSq, 255);
    char fen[FEN_BUFFER_SIZE];
    writeFen(b, fen);
    EXPECT_LT(std::strlen(fen), 100u);
}

TEST(FenHardening, ShortPlacementAndOverlongDigitsStayOnTheBoard) {
    Board b = boardFrom("K99999999k/8");
    EXPECT_EQ(b.squares[A8], KING);
    EXPECT_EQ(popcount(b.occupied), 1);
    b = boardFrom("");
    EXPECT_EQ(b.occupied, 0u);
    EXPECT_EQ(b.toMove, BLACK);
}

// Every prefix of a full FEN, in a buffer of exactly its length: any read
// past the terminating zero shows up under AddressSanitizer.
TEST(FenHardening, NeverReadsPastTheEndOfAnyPrefix) {
    ensureBoardTables();
    const std::string full =
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq e3 17 42";
    for (std::size_t len = 0; len <= full.size(); ++len) {
        std::unique_ptr<char[]> text(new char[len + 1]);
        std::memcpy(text.get(), full.data(), len);
        text[len] = '\0';
        Board b;
        setFromFen(b, text.get());
        EXPECT_GE(b.kingSq[0], 0);
        EXPECT_LT(b.kingSq[1], 64);
    }
}

TEST(BoardPrint, ExactText) {
    Board b = boardFrom("rnbqkbnr/pppp1ppp/8/8/3pP3/8/PPP2PPP/RNBQKBNR b Kq e3 0 3");
    testing::internal::CaptureStdout();
    printBoard(b);
    std::string out = testing::internal::GetCapturedStdout();
    std::string want =
        "\nr n b q k b n r "
        "\np p p p . p p p "
        "\n. . . . . . . . "
        "\n. . . . . . . . "
        "\n. . . p P . . . "
        "\n. . . . . . . . "
        "\nP P P . . P P P "
        "\nR N B Q K B N R "
        "\ntoMove=black  castle=Kq  enpassant=e3  eval=0  lazy=-100  wMat=3800  bMat=3900"
        "\nboardkey= " +
        std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(b.boardkey))) +
        "\nrnbqkbnr/pppp1ppp/8/8/3pP3/8/PPP2PPP/RNBQKBNR b Kq e3 0 3\n\n\n";
    EXPECT_EQ(out, want);
}

TEST(BoardPrint, EvaluationIsShownFromWhitesView) {
    ensureBoardTables();
    setEvaluateHook([](Board&, int, int) { return 25; }); // side-to-move view
    Board b = boardFrom("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
    testing::internal::CaptureStdout();
    printBoard(b);
    std::string out = testing::internal::GetCapturedStdout();
    setEvaluateHook(nullptr);
    EXPECT_NE(out.find("  eval=-25  "), std::string::npos) << out;
}

TEST(BoardPrint, BitboardRowsFromA8) {
    testing::internal::CaptureStdout();
    printBitboard(bit(A8) | bit(H1));
    std::string out = testing::internal::GetCapturedStdout();
    std::string want = "1 0 0 0 0 0 0 0 \n";
    for (int i = 0; i < 6; ++i) want += "0 0 0 0 0 0 0 0 \n";
    want += "0 0 0 0 0 0 0 1 \n\n";
    EXPECT_EQ(out, want);
}
