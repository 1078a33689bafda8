// Start-up tables: the keys every process must share and the material
// settings. Slider lookups, masks and value tables are pinned by the perft
// counts and the search signature.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "board/bitboard.h"
#include "board/rng.h"
#include "board/settings_file.h"
#include "board_fixture.h"

// The keys are the generator's draws in a fixed order; a process that drew
// them in another order would not share the transposition table.
TEST(ZobristKeys, FollowTheFixedDrawOrderOfThe15BitGenerator) {
    ensureBoardTables();
    Rand15 r;
    auto draw = [&r] {
        U64 k = 0;
        for (int i = 0; i < 5; ++i) k ^= static_cast<U64>(r.next()) << (15 * i);
        return k;
    };
    U64 first = draw();
    EXPECT_EQ(zobrist.piece[PAWN][0][0], first);
    EXPECT_EQ(zobrist.piece[PAWN][0][1], draw());
    for (int i = 2; i < 7 * 2 * 64; ++i) {
        U64 k = draw();
        int kind = i / 128, colour = i / 64 % 2, sq = i % 64;
        if (kind == EMPTY && colour == 0 && sq == 0) {
            EXPECT_EQ(zobrist.piece[kind][colour][sq], 0u) << "no en-passant square";
        } else {
            ASSERT_EQ(zobrist.piece[kind][colour][sq], k) << i;
        }
    }
    EXPECT_EQ(zobrist.side, draw());
    U64 base[4] = {draw(), draw(), draw(), draw()};
    EXPECT_EQ(zobrist.castle[0], 0u);
    EXPECT_EQ(zobrist.castle[CASTLE_WK], base[0]);
    EXPECT_EQ(zobrist.castle[CASTLE_BQ], base[3]);
    EXPECT_EQ(zobrist.castle[15], base[0] ^ base[1] ^ base[2] ^ base[3]);
}

TEST(MaterialSettings, ReadFromTheSettingsFileWithEcho) {
    char dir[] = "/tmp/tarvok-settings-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string old(4096, '\0');
    ASSERT_NE(getcwd(old.data(), old.size()), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    FILE* f = std::fopen(SETTINGS_FILE_NAME, "w");
    ASSERT_NE(f, nullptr);
    std::fputs("pref:VALROOK=480\n"
               "pref:printToScreen=1\n"
               "pref:VALPAWN=120\n"
               "pref:VALKNIGHT=310.7\n"
               "comment line\n"
               "pref:VALQUEEN=   950   (centipawns)\n",
               f);
    std::fclose(f);

    Board b;
    testing::internal::CaptureStdout();
    initBoardTables(nullptr, b);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Read settings:\n   VALPAWN:  120\n   VALKNIGHT:310\n   VALQUEEN: 950\n");
    EXPECT_EQ(pieceValue[PAWN], 120);
    EXPECT_EQ(pieceValue[KNIGHT], 310);
    EXPECT_EQ(pieceValue[ROOK], 480);
    EXPECT_EQ(initialMaterial, 2 * 950 + 4 * 480 + 4 * 300 + 4 * 310 + 16 * 120);
    EXPECT_EQ(b.wMat, 8 * 120 + 2 * 310 + 2 * 300 + 2 * 480 + 950);

    // A zero pawn value would divide by zero in the capture scores.
    f = std::fopen(SETTINGS_FILE_NAME, "w");
    std::fputs("pref:VALPAWN=0\n", f);
    std::fclose(f);
    initBoardTables(nullptr, b);
    EXPECT_GE(pieceValue[PAWN], 1);

    std::remove(SETTINGS_FILE_NAME);
    ASSERT_EQ(chdir(old.c_str()), 0);
    rmdir(dir);
    material = MaterialValues{};
    rebuildValueTables();
    EXPECT_EQ(initialMaterial, 7800);
}
