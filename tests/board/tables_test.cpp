// The material values read from the settings file at start-up, with the echo.
#include <unistd.h>

#include <cstdio>

#include "board/settings_file.h"
#include "board_fixture.h"

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
