#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>

#include "app/command_args.h"
#include "app/line_reader.h"

namespace {

// A pipe whose read end feeds a LineReader; the writer runs in a thread so
// that inputs larger than the pipe buffer do not block.
class PipeInput {
  public:
    explicit PipeInput(std::string text) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        readFd_ = fds[0];
        writer_ = std::thread([fd = fds[1], t = std::move(text)] {
            std::size_t done = 0;
            while (done < t.size()) {
                ssize_t n = write(fd, t.data() + done, t.size() - done);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            close(fd);
        });
    }
    ~PipeInput() {
        close(readFd_);
        writer_.join();
    }
    int fd() const { return readFd_; }

  private:
    int readFd_;
    std::thread writer_;
};

std::vector<std::string> allLines(const std::string& input) {
    PipeInput in(input);
    LineReader reader(in.fd());
    std::vector<std::string> lines;
    static char line[LINE_BUFFER_SIZE];
    while (reader.readLine(line)) lines.emplace_back(line);
    return lines;
}

TEST(LineReader, KeepsLineEndsAndReturnsAnUnterminatedLastLine) {
    auto lines = allLines("uci\nisready\r\n\nquit");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "uci\n");
    EXPECT_EQ(lines[1], "isready\r\n");
    EXPECT_EQ(lines[2], "\n");
    EXPECT_EQ(lines[3], "quit");
    EXPECT_TRUE(allLines("").empty());
}

TEST(LineReader, CutsOverlongLinesAndDropsTheirTail) {
    // The tail of the long line looks like a command; it must never be seen.
    std::string longLine = std::string(9999, 'x') + "quit\n";
    auto lines = allLines("ping 1\n" + longLine + "ping 2\n" + std::string(20000, 'y'));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "ping 1\n");
    EXPECT_EQ(lines[1], std::string(9999, 'x'));
    EXPECT_EQ(lines[2], "ping 2\n");
    EXPECT_EQ(lines[3], std::string(9999, 'y'));
    // A line of exactly 9,998 characters still fits with its line end.
    lines = allLines(std::string(9998, 'z') + "\nquit\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 9999u);
    EXPECT_EQ(lines[1], "quit\n");
}

TEST(CommandNumbers, ProductsAndSumsSaturate) {
    EXPECT_EQ(saturatedProduct(6000, 10), 60000);
    EXPECT_EQ(saturatedProduct(300000000, 10), 2147483647);
    EXPECT_EQ(saturatedProduct(-300000000, 10), -2147483647 - 1);
    EXPECT_EQ(saturatedProduct(2147483647, 60000), 2147483647);
    EXPECT_EQ(saturatedSum(2147483000, 1000), 2147483647);
    EXPECT_EQ(clampDepth(64), 63); // larger and smaller depths: the go tests
}

TEST(CommandNumbers, ArgumentsNeverLieBehindTheLineEnd) {
    const char* line = "time";
    EXPECT_EQ(argumentAt(line, 5), line + 4);
    EXPECT_EQ(argumentAt("time 6000\n", 5), std::string("6000\n"));
    EXPECT_EQ(*argumentAt("", 3), 0);
}

// The fields read are pinned by the budgets the UCI tests check.
TEST(GoParameters, MalformedAndExtremeValues) {
    GoParameters g = parseGo("go xwtime 5 wtimes 7 depth 200 movetime 1e12\n");
    EXPECT_EQ(g.wtime, 0);
    EXPECT_EQ(g.depth, 63);
    EXPECT_EQ(g.movetime, 2147483647);
    g = parseGo("go wtime ");
    EXPECT_EQ(g.wtime, 0);
    g = parseGo("go movetime");
    EXPECT_EQ(g.movetime, 0);
    g = parseGo("go depth -3\n");
    EXPECT_TRUE(g.depthGiven);
    EXPECT_EQ(g.depth, -3);
    g = parseGo("go");
    EXPECT_FALSE(g.ponder || g.infinite || g.depthGiven);
    g = parseGo("");
    EXPECT_EQ(g.wtime, 0);
    // A word glued to the command is not behind a blank.
    g = parseGo("goinfinite\n");
    EXPECT_FALSE(g.infinite);
    // The node count is skipped, not read.
    g = parseGo("go nodes 5000\n");
    EXPECT_EQ(g.wtime + g.btime + g.movetime + g.depth, 0);
    EXPECT_FALSE(g.depthGiven);
}

TEST(LevelParameters, FieldsFractionsMissingFieldsAndHugeNumbers) {
    struct Case {
        const char* line;
        int moves, baseMs, incMs;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        LevelParameters l = parseLevel(c.line);
        EXPECT_EQ(l.moves, c.moves) << c.line;
        EXPECT_EQ(l.baseMs, c.baseMs) << c.line;
        EXPECT_EQ(l.incMs, c.incMs) << c.line;
    }
}

} // namespace
