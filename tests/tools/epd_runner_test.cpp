// The EPD suite runner: counts per suite, the printed verdicts, the misses
// appended unchanged, and every kind of bad input.
#include <algorithm>
#include <fstream>

#include "tests/tools/tool_fixture.h"
#include "tools/epd_runner.h"

namespace {

const std::string ONE_MOVE = "7k/R7/8/p7/8/8/8/K5R1 b - - bm a4;\n"; // a5-a4 is the only move

std::string repeat(const std::string& line, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += line;
    return s;
}

std::string wacLine(int number) {
    std::ifstream in(std::string(TARVOK_DATA_DIR) + "/wac.epd");
    std::string l;
    for (int i = 0; i < number && std::getline(in, l);) ++i;
    return l + "\n";
}

using EpdRunner = ToolTest;

TEST_F(EpdRunner, SuitesOfAHundredLines) {
    write(EPD_SUITE_FILE, repeat(ONE_MOVE, 250));
    std::string out = printed([&] { runEpdSuite(tool, 1000); });
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 251);
    EXPECT_NE(out.find("EQUAL\n"), std::string::npos);
    EXPECT_NE(out.find(" percentageCorrect=100.000000\n"), std::string::npos);
    EXPECT_EQ(read(TOOL_SETTINGS_FILE), "percentageCorrect=100.000000, SUIT_0=250/250\n"
                                        "SUIT_1=100/100\nSUIT_2=100/100\nSUIT_3=50/50\n");
    EXPECT_EQ(read(EPD_INCORRECT_FILE), "");
    expectSettingsKept();

    // Positions from 900 on count in suite 0 only; the summary is appended.
    write(EPD_SUITE_FILE, repeat(ONE_MOVE, 905));
    printed([&] { runEpdSuite(tool, 1000); });
    const std::string summary = read(TOOL_SETTINGS_FILE);
    EXPECT_NE(summary.find("SUIT_0=905/905\n"), std::string::npos);
    EXPECT_NE(summary.find("SUIT_9=100/100\n"), std::string::npos);
    EXPECT_EQ(summary.find("SUIT_10"), std::string::npos);
}

TEST_F(EpdRunner, MatesFoundAndAMissAppendedUnchanged) {
    std::string other = wacLine(1);
    other.replace(other.find("bm Qg6"), 6, "bm Qh4");
    write(EPD_SUITE_FILE, wacLine(1) + wacLine(4) + other + wacLine(5));
    std::string out = printed([&] { runEpdSuite(tool, 20000); });
    EXPECT_EQ(out, "EQUAL\nEQUAL\nDIFFERENT: g3h4 g3g6\nEQUAL\n percentageCorrect=75.000000\n");
    EXPECT_EQ(read(TOOL_SETTINGS_FILE), "percentageCorrect=75.000000, SUIT_0=3/4\nSUIT_1=3/4\n");
    EXPECT_EQ(read(EPD_INCORRECT_FILE), other);
    expectSettingsKept();
}

TEST_F(EpdRunner, AnyBestMoveCountsAndDoublePushesMatch) {
    // Two "bm" moves, the second the engine's; and a double push, the only
    // legal move (it blocks a check), which must match the search's move.
    write(EPD_SUITE_FILE, "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qh4 Qg6; "
                          "am Qh3;\n"
                          "1k3r1r/b7/8/8/8/8/3P4/4n1K1 w - - bm d4; id \"double\";\n");
    std::string out = printed([&] { runEpdSuite(tool, 3000); });
    EXPECT_EQ(lines(out)[0], "EQUAL");
    EXPECT_EQ(lines(out)[1], "EQUAL");
}

TEST_F(EpdRunner, BadInputIsOneLineAndAMiss) {
    // No suite: one line, nothing written.
    std::string out = printed([&] { runEpdSuite(tool, 1000); });
    EXPECT_EQ(out, "ERROR: No epd-file found!\n");
    EXPECT_FALSE(exists(TOOL_SETTINGS_FILE));
    EXPECT_FALSE(exists(EPD_INCORRECT_FILE));

    // An empty suite.
    write(EPD_SUITE_FILE, "");
    out = printed([&] { runEpdSuite(tool, 1000); });
    EXPECT_EQ(out, " percentageCorrect=-1.000000\n");
    EXPECT_EQ(read(TOOL_SETTINGS_FILE), "percentageCorrect=-1.000000, ");
    std::filesystem::remove(TOOL_SETTINGS_FILE);

    // A refused FEN, no "bm", a SAN naming no legal move, a blank line and a
    // line far too long (its tail would be a position of its own).
    const std::string refused = "8/8/8/8/8/8/8/8 w - - bm e4;";
    const std::string noBm = "7k/R7/8/p7/8/8/8/K5R1 b - - id \"x\";";
    const std::string noMove = "7k/R7/8/p7/8/8/8/K5R1 b - - bm Qh5;";
    const std::string longLine = ONE_MOVE.substr(0, ONE_MOVE.size() - 1) +
                                 std::string(1100 - ONE_MOVE.size(), ' ') + ONE_MOVE;
    write(EPD_SUITE_FILE, refused + "\n" + noBm + "\n  \n" + noMove + "\n" + longLine);
    out = printed([&] { runEpdSuite(tool, 1000); });
    EXPECT_EQ(out, "Error (illegal position): 8/8/8/8/8/8/8/8 w - -\n"
                   "ERROR: epd no bestmove found!\n"
                   "ERROR: epd no bestmove found!\n"
                   "EQUAL\n"
                   " percentageCorrect=25.000000\n");
    EXPECT_EQ(read(EPD_INCORRECT_FILE), refused + "\n" + noBm + "\n" + noMove + "\n");
    EXPECT_EQ(read(TOOL_SETTINGS_FILE), "percentageCorrect=25.000000, SUIT_0=1/4\nSUIT_1=1/4\n");
    expectSettingsKept();
}

TEST_F(EpdRunner, AnOutputThatCannotBeWrittenStopsTheRun) {
    write(EPD_SUITE_FILE, ONE_MOVE);
    std::filesystem::create_directory(TOOL_SETTINGS_FILE);
    std::string out = printed([&] { runEpdSuite(tool, 1000); });
    EXPECT_EQ(out, "Cannot write !output_settings.txt\n");
}

TEST_F(EpdRunner, AStopWritesTheSummaryOfWhatWasDone) {
    write(EPD_SUITE_FILE, repeat(ONE_MOVE, 3));
    env.shared().allSearchprocesEnabled = TASK_STOP;
    std::string out = printed([&] { runEpdSuite(tool, 1000); });
    EXPECT_EQ(out, " percentageCorrect=-1.000000\n");
    EXPECT_EQ(read(TOOL_SETTINGS_FILE), "percentageCorrect=-1.000000, ");
    expectSettingsKept();
}

} // namespace
