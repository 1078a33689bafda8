// Reading the board's texts: what the lenient FEN reader makes of good and bad
// text, and the material values read from the settings file at start-up.
#include <unistd.h>

#include <cstdio>

#include "board/repetition.h"
#include "board/settings_file.h"
#include "board_fixture.h"

namespace {

// Text read -> FEN written ("=" when the same).
const char* const ROWS[][2] = {
    {START_FEN, "="},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "="},
    {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 12 37", "="},
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
    // Forcing the side to move changes the key as reading the other side does
    // (the random games check every key against one computed from scratch).
    Board black = boardFrom(START_FEN);
    setSideToMove(black, WHITE);
    EXPECT_EQ(black.boardkey, b.boardkey);
    setSideToMove(black, BLACK);
    const Board read = boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
    EXPECT_EQ(std::pair(black.toMove, black.boardkey), std::pair(read.toMove, read.boardkey));
}

TEST(MaterialSettings, ReadFromTheSettingsFileWithEcho) {
    char dir[] = "/tmp/tarvok-settings-XXXXXX";
    std::string old(4096, '\0');
    ASSERT_TRUE(mkdtemp(dir) && getcwd(old.data(), old.size()) && chdir(dir) == 0);
    auto readSettings = [](const char* text) {
        FILE* f = std::fopen(SETTINGS_FILE_NAME, "w");
        std::fputs(text, f);
        std::fclose(f);
        Board b;
        const std::string echo = stdoutOf([&] { initBoardTables(nullptr, b); });
        return echo + std::to_string(b.wMat);
    };
    EXPECT_EQ(
        readSettings("pref:VALROOK=480\npref:printToScreen=1\npref:VALPAWN=120\n"
                     "pref:VALKNIGHT=310.7\ncomment line\npref:VALQUEEN=   950   (centipawns)\n"),
        "Read settings:\n   VALPAWN:  120\n   VALKNIGHT:310\n   VALQUEEN: 950\n4090");
    EXPECT_EQ(initialMaterial, 2 * 950 + 4 * 480 + 4 * 300 + 4 * 310 + 16 * 120);
    readSettings("pref:VALPAWN=0\n"); // would divide by zero in the capture scores
    EXPECT_GE(pieceValue[PAWN], 1);
    std::remove(SETTINGS_FILE_NAME);
    ASSERT_EQ(chdir(old.c_str()), 0);
    rmdir(dir);
    material = MaterialValues{};
    rebuildValueTables();
    EXPECT_EQ(initialMaterial, 7800);
}

} // namespace
