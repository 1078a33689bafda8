// Move text: formatting, and both parsers resolving texts against the legal
// moves of a position.
#include "board_fixture.h"

namespace {

const char* const FENS[] = {
    START_FEN,
    "k7/4P3/8/8/8/8/8/4K3 w - - 0 1",
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
    "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
    "4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1", // f1 covered: only O-O-O
    "4k3/8/8/3p4/2P1P3/8/8/4K3 w - - 0 1",
    "1n2k3/8/5n2/8/8/8/8/4K3 b - - 0 1",
    "7k/8/8/8/8/4R3/8/K3R3 w - - 0 1",
    "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
};

struct Row {
    int fen;
    const char *text, *coordinate, *san; // "-": no move
};

const Row ROWS[] = {
    {0, "g1f3", "g1f3", "g1f3"},
    {0, "Nf3", "-", "g1f3"},
    {0, "Nf3+", "-", "g1f3"},
    {0, "Ng1f3", "-", "g1f3"},
    {0, "Ngf3", "-", "g1f3"},
    {0, "N1f3", "-", "g1f3"},
    {0, "Nxf3", "-", "g1f3"},
    {0, "e4", "-", "e2e4"},
    {0, "e2e4", "e2e4", "e2e4"},
    {0, "Bf3", "-", "-"},
    {0, "Nhf3", "-", "-"},
    {0, "N2f3", "-", "-"},
    {0, "Kd1", "-", "-"},
    {0, "O-O", "-", "-"},
    {0, "exd3", "-", "-"},
    {0, "e2xe4", "-", "e2e4"},
    {0, "", "-", "-"},
    {0, "e", "-", "-"},
    {0, "e2", "-", "-"},
    {0, "e2\n", "-", "-"},
    {0, "e2e", "-", "-"},
    {0, "e2e5", "-", "-"},
    {0, "i2e4", "-", "-"},
    {0, "e0e4", "-", "-"},
    {0, "e2e9", "-", "-"},
    {0, "E2E4", "-", "-"},
    {0, "0000", "-", "-"},
    {0, "N", "-", "-"},
    {0, "x", "-", "-"},
    {0, "+", "-", "-"},
    {0, "Nx", "-", "-"},
    {0, "N3", "-", "-"},
    {0, "Nf", "-", "-"},
    {0, "O-", "-", "-"},
    {0, "P", "-", "-"},
    {0, "abcdefgh12345678", "-", "-"},
    {0, "Nb1c3d4e5", "-", "b1c3"}, // files and ranks past the second are passed over
    {0, "Pe2e4e5e6", "-", "e2e4"},
    // Promotions: the letter in either case is required in coordinate form;
    // in SAN without a from-square it plays no part (the queen comes first).
    {1, "e7e8q", "e7e8Q", "e7e8Q"},
    {1, "e7e8Q", "e7e8Q", "e7e8Q"},
    {1, "e7e8n", "e7e8N", "e7e8N"},
    {1, "e7e8B", "e7e8B", "e7e8B"},
    {1, "e7e8r", "e7e8R", "e7e8R"},
    {1, "e7e8", "-", "-"},
    {1, "e7e8k", "-", "-"},
    {1, "e7e8\n", "-", "-"},
    {1, "e8", "-", "e7e8Q"},
    {1, "e8N", "-", "e7e8Q"},
    {1, "e8=N", "-", "e7e8Q"},
    {2, "O-O", "-", "e1g1"},
    {2, "o-o", "-", "e1g1"},
    {2, "O-O+", "-", "e1g1"},
    {2, "O-O-O", "-", "e1c1"},
    {2, "o-o-o", "-", "e1c1"},
    {2, "0-0", "-", "-"},
    {2, "0-0-0", "-", "-"},
    {2, "e1g1", "e1g1", "e1g1"},
    {3, "O-O", "-", "e8g8"},
    {3, "o-o-o", "-", "e8c8"},
    {4, "O-O", "-", "-"},
    {4, "O-O-O", "-", "e1c1"},
    {4, "e1g1", "-", "-"},
    {5, "exd5", "-", "e4d5"},
    {5, "cxd5", "-", "c4d5"},
    {5, "cd5", "-", "c4d5"},
    {6, "Nbd7", "-", "b8d7"},
    {6, "Nfd7", "-", "f6d7"},
    {7, "R1e2", "-", "e1e2"},
    {7, "R3e2", "-", "e3e2"},
    {8, "exd6", "-", "e5d6"},
    {9, "e5", "-", "e7e5"},
    {9, "Nc6", "-", "b8c6"},
};

// The parsed move's text, after checking that it is one of the legal moves
// (flags included).
std::string parsed(const Board& b, Move m) {
    if (m == NO_MOVE) return "-";
    const std::vector<Move> legal = legalMoves(b);
    return std::find(legal.begin(), legal.end(), m) != legal.end() ? moveText(m) : "not legal";
}

TEST(Notation, BothParsersOnEveryRow) {
    for (const Row& r : ROWS) {
        const Board b = boardFrom(FENS[r.fen]);
        EXPECT_EQ(parsed(b, parseCoordinateMove(b, r.text)), r.coordinate) << '"' << r.text << '"';
        EXPECT_EQ(parsed(b, parseSanMove(b, r.text)), r.san) << '"' << r.text << '"';
    }
}

TEST(Notation, FormsOfTheMoveText) {
    EXPECT_EQ(moveText(makeMoveCode(11, 27) | DOUBLE_PUSH_FLAG), "e2e4");
    EXPECT_EQ(moveText(makeMoveCode(A8, H1)) + moveText(makeMoveCode(H1, A8)), "a8h1h1a8");
    for (int kind = KNIGHT; kind <= QUEEN; ++kind)
        EXPECT_EQ(moveText(makeMoveCode(51, E8, kind)) + moveText(makeMoveCode(51, E8, kind), true),
                  std::string("e7e8") + "NBRQ"[kind - 1] + "e7e8" + "nbrq"[kind - 1]);
    EXPECT_EQ(moveText(NULL_MOVE) + moveText(NULL_MOVE, true), "NULLMOVENULLMOVE");
    EXPECT_EQ(moveText(0x50000u | makeMoveCode(G1, 18)), "g1f3"); // bits above 16 are not read
    EXPECT_EQ(stdoutOf([] { printMove(makeMoveCode(51, E8, KNIGHT)); }), "e7e8N");
    const Move list[] = {makeMoveCode(11, 27) | DOUBLE_PUSH_FLAG, makeMoveCode(51, E8, QUEEN), 0};
    EXPECT_EQ(stdoutOf([&] { printMoveList(list); }), "e2e4 e7e8Q \n");
    EXPECT_EQ(stdoutOf([&] { printMoveList(list + 2); }), "\n");
}

// Every legal move of the perft suite reads back from its own text (either
// promotion case) through both parsers.
TEST(Notation, EveryLegalMoveRoundTrips) {
    for (const PerftEntry& e : perftSuite()) {
        const Board b = boardFrom(e.fen);
        for (Move m : legalMoves(b)) {
            ASSERT_EQ(parseCoordinateMove(b, moveText(m).c_str()), m)
                << e.fen << " " << moveText(m);
            ASSERT_EQ(parseCoordinateMove(b, moveText(m, true).c_str()), m) << moveText(m);
            ASSERT_EQ(parseSanMove(b, moveText(m).c_str()), m) << e.fen << " " << moveText(m);
        }
    }
}

} // namespace
