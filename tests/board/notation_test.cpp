// Move text: formatting, and both parsers resolving texts against the legal
// moves of a position.
#include "board_fixture.h"

namespace {

// Texts ("|" between them) that both parsers read as the given moves ("-": none).
struct Row {
    const char* fen;
    const char *coordinate, *san, *texts;
};

const char* const PROMOTE = "k7/4P3/8/8/8/8/8/4K3 w - - 0 1";
const char* const CASTLE = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
const Row ROWS[] = {
    {START_FEN, "-", "g1f3", "Nf3|Nf3+|Ng1f3|Ngf3|N1f3|Nxf3"},
    {START_FEN, "-", "e2e4", "e4|e2xe4"},
    {START_FEN, "-", "-",
     "Bf3|Nhf3|N2f3|Kd1|O-O|exd3||e|e2|e2\n|e2e|e2e5|i2e4|e0e4|e2e9|E2E4|0000"},
    {START_FEN, "-", "-", "N|x|+|Nx|N3|Nf|O-|P|abcdefgh12345678"},
    // Promotions (coordinate texts of legal moves all round-trip below): the
    // letter in either case is required in coordinate form; in SAN without a
    // from-square it plays no part (the queen comes first).
    {PROMOTE, "e7e8N", "e7e8N", "e7e8n"},
    {PROMOTE, "-", "-", "e7e8|e7e8k|e7e8\n"},
    {PROMOTE, "-", "e7e8Q", "e8|e8N|e8=N"},
    {CASTLE, "-", "e1g1", "O-O|o-o|O-O+"},
    {CASTLE, "-", "e1c1", "O-O-O|o-o-o"},
    {CASTLE, "-", "-", "0-0|0-0-0"},
    {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "-", "e8g8", "O-O"},
    {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "-", "e8c8", "o-o-o"},
    {"4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1", "-", "-", "O-O|e1g1"},
    {"4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1", "-", "e1c1", "O-O-O"},
    {"4k3/8/8/3p4/2P1P3/8/8/4K3 w - - 0 1", "-", "e4d5", "exd5"},
    {"4k3/8/8/3p4/2P1P3/8/8/4K3 w - - 0 1", "-", "c4d5", "cxd5|cd5"},
    {"1n2k3/8/5n2/8/8/8/8/4K3 b - - 0 1", "-", "b8d7", "Nbd7"},
    {"1n2k3/8/5n2/8/8/8/8/4K3 b - - 0 1", "-", "f6d7", "Nfd7"},
    {"7k/8/8/8/8/4R3/8/K3R3 w - - 0 1", "-", "e1e2", "R1e2"},
    {"7k/8/8/8/8/4R3/8/K3R3 w - - 0 1", "-", "e3e2", "R3e2"},
    {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "-", "e5d6", "exd6"},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "-", "e7e5", "e5"},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "-", "b8c6", "Nc6"}};

// The parsed move's text, once it is found among the legal moves (flags too).
std::string parsed(const Board& b, Move m) {
    if (m == NO_MOVE) return "-";
    const std::vector<Move> legal = legalMoves(b);
    return std::find(legal.begin(), legal.end(), m) != legal.end() ? moveText(m) : "not legal";
}

TEST(Notation, BothParsersOnEveryRow) {
    for (const Row& r : ROWS) {
        const Board b = boardFrom(r.fen);
        std::stringstream texts(r.texts);
        for (std::string t; std::getline(texts, t, '|');) {
            EXPECT_EQ(parsed(b, parseCoordinateMove(b, t.c_str())), r.coordinate)
                << '"' << t << '"';
            EXPECT_EQ(parsed(b, parseSanMove(b, t.c_str())), r.san) << '"' << t << '"';
        }
    }
}

TEST(Notation, FormsOfTheMoveText) {
    std::string texts;
    for (unsigned m :
         {unsigned(makeMoveCode(11, 27) | DOUBLE_PUSH_FLAG), makeMoveCode(A8, H1) | 0x50000u,
          unsigned(makeMoveCode(H1, A8)), unsigned(NULL_MOVE)}) // bits past 16 are not read
        texts += moveText(m) + moveText(m, true) + " ";
    for (int kind = KNIGHT; kind <= QUEEN; ++kind)
        texts += moveText(makeMoveCode(51, E8, kind)) + moveText(makeMoveCode(51, E8, kind), true);
    EXPECT_EQ(
        texts,
        "e2e4e2e4 a8h1a8h1 h1a8h1a8 NULLMOVENULLMOVE e7e8Ne7e8ne7e8Be7e8be7e8Re7e8re7e8Qe7e8q");
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
