// Command lines as the front end reads and splits them: the line reader,
// the saturating numbers and the arguments of go and level.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "app/command_args.h"
#include "app/line_reader.h"

namespace {

using Lines = std::vector<std::string>;

// The lines a LineReader returns for input (at most a pipe's 64 KB).
Lines allLines(const std::string& input) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    LineReader reader(fds[0]);
    Lines lines;
    static char line[LINE_BUFFER_SIZE];
    while (reader.readLine(line)) lines.emplace_back(line);
    close(fds[0]);
    return lines;
}

// Line ends are kept, an unterminated last line is returned, and an overlong
// line is cut at 9,999 characters with its tail (which looks like a command
// here) never seen.
TEST(LineReader, KeepsLineEndsAndCutsOverlongLines) {
    EXPECT_EQ(allLines("uci\nisready\r\n\nquit"), (Lines{"uci\n", "isready\r\n", "\n", "quit"}));
    EXPECT_EQ(allLines(""), Lines{});
    EXPECT_EQ(
        allLines("ping 1\n" + std::string(9999, 'x') + "quit\nping 2\n" + std::string(20000, 'y')),
        (Lines{"ping 1\n", std::string(9999, 'x'), "ping 2\n", std::string(9999, 'y')}));
    EXPECT_EQ(allLines(std::string(9998, 'z') + "\nquit\n"),
              (Lines{std::string(9998, 'z') + "\n", "quit\n"}));
}

TEST(CommandNumbers, SaturateAndNeverReadBehindTheLineEnd) {
    EXPECT_EQ(saturatedProduct(6000, 10), 60000);
    EXPECT_EQ(saturatedProduct(300000000, 10), 2147483647);
    EXPECT_EQ(saturatedProduct(-300000000, 10), -2147483647 - 1);
    EXPECT_EQ(saturatedProduct(2147483647, 60000), 2147483647);
    EXPECT_EQ(saturatedSum(2147483000, 1000), 2147483647);
    EXPECT_EQ(clampDepth(64), 63);
    const char* line = "time";
    EXPECT_EQ(argumentAt(line, 5), line + 4);
    EXPECT_STREQ(argumentAt("time 6000\n", 5), "6000\n");
    EXPECT_EQ(*argumentAt("", 3), 0);
}

// The fields read are pinned by the budgets the UCI tests check.
TEST(CommandNumbers, GoWithMalformedAndExtremeValues) {
    GoParameters g = parseGo("go xwtime 5 wtimes 7 depth 200 movetime 1e12\n");
    EXPECT_EQ(std::make_tuple(g.wtime, g.depth, g.movetime), std::make_tuple(0, 63, 2147483647));
    EXPECT_EQ(parseGo("go wtime ").wtime + parseGo("go movetime").movetime + parseGo("").wtime, 0);
    g = parseGo("go depth -3\n");
    EXPECT_TRUE(g.depthGiven);
    EXPECT_EQ(g.depth, -3);
    g = parseGo("go");
    EXPECT_FALSE(g.ponder || g.infinite || g.depthGiven);
    EXPECT_FALSE(parseGo("goinfinite\n").infinite); // a word glued to the command
    g = parseGo("go nodes 5000\n");                 // the node count is skipped, not read
    EXPECT_EQ(g.wtime + g.btime + g.movetime + g.depth, 0);
    EXPECT_FALSE(g.depthGiven);
}

TEST(CommandNumbers, LevelFieldsFractionsMissingFieldsAndHugeNumbers) {
    const std::tuple<const char*, int, int, int> cases[] = {
        {"level 40 5 0\n", 40, 300000, 0},
        {"level 0 2:30 1\n", 0, 150000, 1000},
        {"level 0 5 0.5\n", 0, 300000, 0}, // whole seconds of increment
        {"level 40 10:05 2\n", 40, 605000, 2000},
        {"level\n", 0, 0, 0},
        {"level 40", 40, 0, 0},
        {"level 0 5", 0, 300000, 0},
        {"level 0 99999999 99999999\n", 0, 2147483647, 2147483647},
        {"level 0 1:99999999999 0\n", 0, 2147483647, 0},
        {"level 0 :", 0, 0, 0},
    };
    for (const auto& [line, moves, baseMs, incMs] : cases) {
        LevelParameters l = parseLevel(line);
        EXPECT_EQ(std::make_tuple(l.moves, l.baseMs, l.incMs),
                  std::make_tuple(moves, baseMs, incMs))
            << line;
    }
}

} // namespace
