// The material values read from the settings file at start-up, with the echo.
#include <unistd.h>

#include <cstdio>

#include "board/settings_file.h"
#include "board_fixture.h"

TEST(MaterialSettings, ReadFromTheSettingsFileWithEcho) {
    char dir[] = "/tmp/tarvok-settings-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string old(4096, '\0');
    ASSERT_NE(getcwd(old.data(), old.size()), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    auto write = [](const char* text) {
        FILE* f = std::fopen(SETTINGS_FILE_NAME, "w");
        std::fputs(text, f);
        std::fclose(f);
    };
    write("pref:VALROOK=480\npref:printToScreen=1\npref:VALPAWN=120\npref:VALKNIGHT=310.7\n"
          "comment line\npref:VALQUEEN=   950   (centipawns)\n");
    Board b;
    EXPECT_EQ(stdoutOf([&] { initBoardTables(nullptr, b); }),
              "Read settings:\n   VALPAWN:  120\n   VALKNIGHT:310\n   VALQUEEN: 950\n");
    EXPECT_EQ(pieceValue[PAWN] + 1000 * pieceValue[KNIGHT], 310120);
    EXPECT_EQ(pieceValue[ROOK] + 1000 * pieceValue[QUEEN], 950480);
    EXPECT_EQ(initialMaterial, 2 * 950 + 4 * 480 + 4 * 300 + 4 * 310 + 16 * 120);
    EXPECT_EQ(b.wMat, 8 * 120 + 2 * 310 + 2 * 300 + 2 * 480 + 950);
    write("pref:VALPAWN=0\n"); // would divide by zero in the capture scores
    initBoardTables(nullptr, b);
    EXPECT_GE(pieceValue[PAWN], 1);

    std::remove(SETTINGS_FILE_NAME);
    ASSERT_EQ(chdir(old.c_str()), 0);
    rmdir(dir);
    material = MaterialValues{};
    rebuildValueTables();
    EXPECT_EQ(initialMaterial, 7800);
}
