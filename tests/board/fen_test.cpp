// Reading and writing FEN: what the lenient reader makes of good and bad text,
// and the keys every process must agree on.
#include "board/repetition.h"
#include "board_fixture.h"

namespace {

// Text read -> FEN written ("=" when the same).
const char* const ROWS[][2] = {
    {START_FEN, "="},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "="},
    {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 12 37", "="},
    {"2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\";",
     "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1"},
    {"4k3/8/8/8/8/8/8/4K3 b - - 0 0", "4k3/8/8/8/8/8/8/4K3 b - - 0 1"},
    // En passant only where a double step left it: wrong rank, no pawn that
    // could have stepped, its start square taken, no square at all.
    {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "="},
    {"4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1", "="},
    {"4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 1", "4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1"},
    {"4k3/8/8/8/3Pp3/8/8/4K3 b - d6 0 1", "4k3/8/8/8/3Pp3/8/8/4K3 b - - 0 1"},
    {"4k3/8/8/4P3/8/8/8/4K3 w - d6 0 1", "4k3/8/8/4P3/8/8/8/4K3 w - - 0 1"},
    {"4k3/3n4/8/3pP3/8/8/8/4K3 w - d6 0 1", "4k3/3n4/8/3pP3/8/8/8/4K3 w - - 0 1"},
    {"4k3/8/8/3pP3/8/8/8/4K3 w - z9 0 1", "4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1"},
    // Castling rights need king and rook at home, in the order KQkq.
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "="},
    {"r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1", "r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1"},
    {"r2k3r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "r2k3r/8/8/8/8/8/8/R3K2R w KQ - 0 1"},
    {"r3k2r/8/8/8/8/8/8/R3K2R w kqKQ - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w kq - 0 1"},
    // Pawns on the back ranks are left out; the rest of the rank is placed.
    {"P3k2p/8/8/8/8/8/8/p3K2P w - - 0 1", "4k3/8/8/8/8/8/8/4K3 w - - 0 1"},
    // Clocks are kept in bounds, and so is the placement.
    {"8/8/8/8/8/8/8/8 w - - 99999999999 99999999999", "8/8/8/8/8/8/8/8 w - - 1000 1000000"},
    {"4k3/8/8/8/8/8/8/4K3 w - - -5 -3", "4k3/8/8/8/8/8/8/4K3 w - - 0 1"},
    {"K99999999k/8", "K7/8/8/8/8/8/8/8 b - - 0 1"},
    {"", "8/8/8/8/8/8/8/8 b - - 0 1"},
};

TEST(Fen, ReadAndWrittenBack) {
    for (const auto& [in, out] : ROWS)
        EXPECT_EQ(fenOf(boardFrom(in)), out[0] == '=' ? in : out) << in;
    const Board b = boardFrom(START_FEN);
    EXPECT_EQ(b.wMat + b.bMat * 10000 + b.totalMat * 100000000LL, 780039003900LL);
    EXPECT_EQ(repetitionRing.keys[0], b.boardkey);
}

// The keys are the generator's draws in a fixed order: a process that drew
// them in another order would not share the transposition table.
TEST(Fen, KeysOfSidesRightsAndEnPassant) {
    const std::pair<const char*, U64> keys[] = {
        {START_FEN, 5698432241424640184u},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1", 3989658137945194650u},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w Kq - 0 1", 7370472357750883717u},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 17477041593315295679u},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", 295498547949241949u},
    };
    for (const auto& [fen, key] : keys) EXPECT_EQ(boardFrom(fen).boardkey, key) << fen;
    Board b = boardFrom(START_FEN), same = b;
    setSideToMove(same, WHITE);
    EXPECT_EQ(same.boardkey, b.boardkey);
    setSideToMove(same, BLACK);
    EXPECT_EQ(same.toMove, BLACK);
    EXPECT_EQ(same.boardkey, keys[1].second);
}

} // namespace
