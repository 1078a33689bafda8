// Move text: formatting, and both parsers resolving texts against the legal
// moves of a position.
#include <gtest/gtest.h>

#include <string>

#include "board/notation.h"
#include "board_fixture.h"

namespace {

constexpr int E2 = 11, E4 = 27, E7 = 51, G1_ = 1, F3 = 18, B1_ = 6, C3 = 21;
constexpr const char* kPromotionFen = "k7/4P3/8/8/8/8/8/4K3 w - - 0 1";
constexpr const char* kCastlingFen = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";

std::string text(unsigned move, bool lower = false) {
    char buf[MOVE_TEXT_SIZE];
    return formatMove(move, buf, lower);
}

TEST(MoveText, CoordinateFormAndNullMove) {
    EXPECT_EQ(text(makeMoveCode(E2, E4) | DOUBLE_PUSH_FLAG), "e2e4");
    EXPECT_EQ(text(makeMoveCode(A8, H1)), "a8h1");
    EXPECT_EQ(text(makeMoveCode(H1, A8)), "h1a8");
    const char* upper[] = {"e7e8N", "e7e8B", "e7e8R", "e7e8Q"};
    const char* lower[] = {"e7e8n", "e7e8b", "e7e8r", "e7e8q"};
    for (int kind = KNIGHT; kind <= QUEEN; ++kind) {
        EXPECT_EQ(text(makeMoveCode(E7, E8, kind)), upper[kind - 1]);
        EXPECT_EQ(text(makeMoveCode(E7, E8, kind), true), lower[kind - 1]);
    }
    EXPECT_EQ(text(NULL_MOVE), "NULLMOVE");
    EXPECT_EQ(text(NULL_MOVE, true), "NULLMOVE");
    // Only the low 16 bits are a move; callers may carry data above them.
    EXPECT_EQ(text(0x50000u | makeMoveCode(G1_, F3)), "g1f3");
}

TEST(MoveText, PrintedForms) {
    EXPECT_EQ(stdoutOf([] { printMove(makeMoveCode(E7, E8, KNIGHT)); }), "e7e8N");
    EXPECT_EQ(stdoutOf([] { printMove(NULL_MOVE); }), "NULLMOVE");
    const Move list[] = {static_cast<Move>(makeMoveCode(E2, E4) | DOUBLE_PUSH_FLAG),
                         makeMoveCode(E7, E8, QUEEN), NO_MOVE};
    EXPECT_EQ(stdoutOf([&] { printMoveList(list); }), "e2e4 e7e8Q \n");
    const Move empty[] = {NO_MOVE};
    EXPECT_EQ(stdoutOf([&] { printMoveList(empty); }), "\n");
}

TEST(CoordinateMove, PromotionLetterEitherCaseAndRequired) {
    Board b = boardFrom(kPromotionFen);
    EXPECT_EQ(parseCoordinateMove(b, "e7e8q"), makeMoveCode(E7, E8, QUEEN));
    EXPECT_EQ(parseCoordinateMove(b, "e7e8Q"), makeMoveCode(E7, E8, QUEEN));
    EXPECT_EQ(parseCoordinateMove(b, "e7e8n"), makeMoveCode(E7, E8, KNIGHT));
    EXPECT_EQ(parseCoordinateMove(b, "e7e8B"), makeMoveCode(E7, E8, BISHOP));
    EXPECT_EQ(parseCoordinateMove(b, "e7e8r"), makeMoveCode(E7, E8, ROOK));
    EXPECT_EQ(parseCoordinateMove(b, "e7e8"), NO_MOVE);
    EXPECT_EQ(parseCoordinateMove(b, "e7e8k"), NO_MOVE);
    EXPECT_EQ(parseCoordinateMove(b, "e7e8\n"), NO_MOVE);
}

TEST(CoordinateMove, RejectsSanShortAndMalformedTexts) {
    Board start = boardFrom(START_FEN);
    for (const char* t : {"Nf3", "Ng1f3", "Kd1", "O-O", "o-o", "exd3", "e2xe4", "", "e", "e2",
                          "e2\n", "e2e", "e2e5", "i2e4", "e0e4", "e2e9", "E2E4", "0000"})
        EXPECT_EQ(parseCoordinateMove(start, t), NO_MOVE) << '"' << t << '"';
}

TEST(SanMove, PieceMovesAndDisambiguation) {
    Board start = boardFrom(START_FEN);
    const Move nf3 = makeMoveCode(G1_, F3);
    for (const char* t : {"Nf3", "Nf3+", "Ng1f3", "Ngf3", "N1f3", "g1f3", "Nxf3"})
        EXPECT_EQ(parseSanMove(start, t), nf3) << t;
    EXPECT_EQ(parseSanMove(start, "e4"), makeMoveCode(E2, E4) | DOUBLE_PUSH_FLAG);
    EXPECT_EQ(parseSanMove(start, "Bf3"), NO_MOVE); // no bishop reaches f3
    EXPECT_EQ(parseSanMove(start, "Nhf3"), NO_MOVE);
    EXPECT_EQ(parseSanMove(start, "N2f3"), NO_MOVE);

    // exd5 and cxd5: the a-ward capture comes first in the list, so the file
    // condition is what picks the c-pawn.
    Board pawns = boardFrom("4k3/8/8/3p4/2P1P3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(parseSanMove(pawns, "exd5"), makeMoveCode(27, 36));
    EXPECT_EQ(parseSanMove(pawns, "cxd5"), makeMoveCode(29, 36));
    EXPECT_EQ(parseSanMove(pawns, "cd5"), makeMoveCode(29, 36));

    Board knights = boardFrom("1n2k3/8/5n2/8/8/8/8/4K3 b - - 0 1");
    EXPECT_EQ(parseSanMove(knights, "Nbd7"), makeMoveCode(62, 52));
    EXPECT_EQ(parseSanMove(knights, "Nfd7"), makeMoveCode(42, 52));

    Board rooks = boardFrom("7k/8/8/8/8/4R3/8/K3R3 w - - 0 1");
    EXPECT_EQ(parseSanMove(rooks, "R1e2"), makeMoveCode(3, 11));
    EXPECT_EQ(parseSanMove(rooks, "R3e2"), makeMoveCode(19, 11));

    Board ep = boardFrom("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    EXPECT_EQ(parseSanMove(ep, "exd6"), makeMoveCode(35, 44));

    Board black = after(start, makeMoveCode(E2, E4) | DOUBLE_PUSH_FLAG);
    EXPECT_EQ(parseSanMove(black, "e5"), makeMoveCode(51, 35) | DOUBLE_PUSH_FLAG);
    EXPECT_EQ(parseSanMove(black, "Nc6"), makeMoveCode(62, 45));
}

TEST(SanMove, Promotions) {
    Board b = boardFrom(kPromotionFen);
    const Move queen = makeMoveCode(E7, E8, QUEEN);
    // Without from-square the promotion letter plays no part: the queen comes
    // first among the legal moves; "=" ends the scan.
    for (const char* t : {"e8", "e8Q", "e8N", "e8=N"}) EXPECT_EQ(parseSanMove(b, t), queen) << t;
    EXPECT_EQ(parseSanMove(b, "e7e8N"), makeMoveCode(E7, E8, KNIGHT));
    EXPECT_EQ(parseSanMove(b, "e7e8r"), makeMoveCode(E7, E8, ROOK));
    EXPECT_EQ(parseSanMove(b, "e7e8"), NO_MOVE);
}

TEST(SanMove, CastlingBySideToMove) {
    Board white = boardFrom(kCastlingFen);
    EXPECT_EQ(parseSanMove(white, "O-O"), 67);
    EXPECT_EQ(parseSanMove(white, "o-o"), 67);
    EXPECT_EQ(parseSanMove(white, "O-O+"), 67);
    EXPECT_EQ(parseSanMove(white, "O-O-O"), 323);
    EXPECT_EQ(parseSanMove(white, "o-o-o"), 323);
    EXPECT_EQ(parseSanMove(white, "0-0"), NO_MOVE);
    EXPECT_EQ(parseSanMove(white, "0-0-0"), NO_MOVE);

    Board black = boardFrom("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    EXPECT_EQ(parseSanMove(black, "O-O"), 3707);
    EXPECT_EQ(parseSanMove(black, "o-o-o"), 3963);

    // A rook on f2 covers f1: only the queen-side castling is legal.
    Board attacked = boardFrom("4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1");
    EXPECT_EQ(parseSanMove(attacked, "O-O"), NO_MOVE);
    EXPECT_EQ(parseSanMove(attacked, "O-O-O"), 323);
}

TEST(SanMove, OddTextsGiveNoMoveOrTheFirstTwoSquares) {
    Board start = boardFrom(START_FEN);
    for (const char* t :
         {"", "N", "x", "+", "Nx", "N3", "Nf", "O-", "o-", "P", "-", "abcdefgh12345678"})
        EXPECT_EQ(parseSanMove(start, t), NO_MOVE) << '"' << t << '"';
    // Files and ranks beyond the second are passed over.
    EXPECT_EQ(parseSanMove(start, "Nb1c3d4e5"), makeMoveCode(B1_, C3));
    EXPECT_EQ(parseSanMove(start, "Pe2e4e5e6"), makeMoveCode(E2, E4) | DOUBLE_PUSH_FLAG);
}

// Every legal move of the perft suite's positions reads back from its own
// coordinate text (either promotion case), through both parsers.
TEST(MoveText, EveryLegalMoveRoundTrips) {
    int checked = 0;
    for (const std::string& fen : perftSuiteFens()) {
        Board b = boardFrom(fen);
        for (Move m : legalMoves(b)) {
            ASSERT_EQ(parseCoordinateMove(b, text(m).c_str()), m) << fen << " " << text(m);
            ASSERT_EQ(parseCoordinateMove(b, text(m, true).c_str()), m) << fen << " " << text(m);
            ASSERT_EQ(parseSanMove(b, text(m).c_str()), m) << fen << " " << text(m);
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
}

} // namespace
