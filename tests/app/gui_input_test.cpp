// What the front end takes from the GUI: command lines as the line reader
// cuts them, the numbers and arguments of go and level, and the check of a
// position set up.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <unistd.h>

#include "app/command_args.h"
#include "app/line_reader.h"
#include "app/position_check.h"
#include "board/board.h"
#include "board/ordering.h"
#include "board/repetition.h"
#include "board/tables.h"

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

// Saturating products and sums, no read behind the line end; the go fields
// read are pinned by the budgets the UCI tests check.
TEST(CommandNumbers, SaturateGoAndLevelWithMalformedAndExtremeValues) {
    EXPECT_EQ(std::make_tuple(saturatedProduct(6000, 10), saturatedProduct(300000000, 10),
                              saturatedProduct(-300000000, 10), saturatedProduct(INT_MAX, 60000),
                              saturatedSum(2147483000, 1000), clampDepth(64)),
              std::make_tuple(60000, INT_MAX, INT_MIN, INT_MAX, INT_MAX, 63));
    const char* line = "time";
    EXPECT_EQ(argumentAt(line, 5), line + 4);
    EXPECT_STREQ(argumentAt("time 6000\n", 5), "6000\n");
    EXPECT_EQ(*argumentAt("", 3), 0);
    // wtime, btime, movetime, depth, whether a depth, ponder or infinite search was given.
    auto go = [](const char* line) {
        GoParameters g = parseGo(line);
        return std::make_tuple(g.wtime, g.btime, g.movetime, g.depth, g.depthGiven,
                               g.ponder || g.infinite);
    };
    EXPECT_EQ(go("go xwtime 5 wtimes 7 depth 200 movetime 1e12\n"),
              std::make_tuple(0, 0, INT_MAX, 63, true, false));
    EXPECT_EQ(go("go depth -3\n"), std::make_tuple(0, 0, 0, -3, true, false));
    for (const char* none :
         {"go wtime ", "go movetime", "", "go", "goinfinite\n", "go nodes 5000\n"})
        EXPECT_EQ(go(none), std::make_tuple(0, 0, 0, 0, false, false)) << none;
    // level: moves, base and increment, with fractions, missing fields and huge numbers.
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

TEST(PositionCheck, RefusesWhatTheSearchCannotPlayFromAcceptsTheRest) {
    static OrderingTables ordering{};
    static Board start;
    initBoardTables(&ordering, start);
    std::vector<std::string> refused = {
        "8/8/8/8/8/8/8/K7 w - - 0 1",                                // no black king
        "k7/8/8/8/8/8/8/8 b - - 0 1",                                // no white king
        "kk6/8/8/8/8/8/8/K7 w - - 0 1",                              // two black kings
        "k7/8/8/8/8/8/8/KK6 w - - 0 1",                              // two white kings
        "k7/8/8/8/8/8/8/K6P w - - 0 1",                              // pawn on the first rank
        "k6p/8/8/8/8/8/8/K7 w - - 0 1",                              // pawn on the eighth rank
        "k3R3/8/8/8/8/8/8/K7 w - - 0 1",                             // black, not to move, in check
        "k7/8/8/8/8/8/8/K3r3 b - - 0 1",                             // white, not to move, in check
        "k7/8/8/8/8/8/PPPPPPPP/KNNNNNNN w - - 0 1",                  // 17 white men
        "k7/8/8/8/8/8/PPPPPPPP/KQQNNB2 w - - 0 1",                   // two queens, all pawns left
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w KQkq - 0 1", // ninth rank
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1",   // short rank
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1", // seven ranks
        "rnbqkxnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "",
        "   ",
    };
    // Random texts of FEN characters: refused unchanged, or a playable board.
    unsigned x = 12345;
    const char alphabet[] = "pnbrqkPNBRQK12345678/ wb-KQkqe3 0\n";
    for (int i = 0; i < 2000; ++i) {
        std::string text(((x = x * 1103515245 + 12345) >> 16) % 90, ' ');
        for (char& c : text)
            c = alphabet[((x = x * 1103515245 + 12345) >> 16) % (sizeof alphabet - 1)];
        refused.push_back(text);
    }
    for (std::size_t i = 0; i < refused.size(); ++i) {
        Board b;
        setStartPosition(b);
        const Board before = b;
        const RepetitionRing ringBefore = repetitionRing;
        if (loadPlayablePosition(b, refused[i].c_str())) {
            EXPECT_TRUE(i >= 17 && isPlayableBoard(b)) << refused[i];
            continue;
        }
        EXPECT_EQ(std::memcmp(&b, &before, sizeof b), 0) << refused[i];
        EXPECT_EQ(std::memcmp(&repetitionRing, &ringBefore, sizeof ringBefore), 0) << refused[i];
    }
    // Accepted positions are the FEN's board, with what cannot be dropped.
    const std::pair<const char*, const char*> cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", nullptr},
        {"  4k3/P7/8/8/8/8/8/4K3 w - - 0 60\n", nullptr},
        {"k7/8/8/8/8/8/2PPPPPP/KQQNNB2 w - - 0 1", nullptr}, // an extra queen for two pawns
        {"4k3/8/8/8/8/8/8/4K2r w - - 0 1", nullptr},         // white to move, in check
        {"8/8/8/8/8/8/8/k6K", nullptr},                      // placement alone
        // The h1 rook is missing and the black king has moved; a rook of the
        // wrong colour gives no right.
        {"r2k3r/8/8/8/8/8/8/R3K3 w KQkq - 0 1", "r2k3r/8/8/8/8/8/8/R3K3 w Q - 0 1"},
        {"4k2R/8/8/8/8/8/8/4K3 b k - 0 1", "4k2R/8/8/8/8/8/8/4K3 b - - 0 1"},
        // e3 is a real en-passant square after e2e4; d6 without a black pawn
        // on d5, a square on the wrong rank, or one whose pawn's start square
        // is occupied are not.
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", nullptr},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2",
         "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2"},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3 0 2",
         "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2"},
        {"4k3/3p4/8/3pP3/8/8/8/4K3 w - d6 0 2", "4k3/3p4/8/3pP3/8/8/8/4K3 w - - 0 2"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2", nullptr},
    };
    for (const auto& [fen, expectedFen] : cases) {
        Board b, expected;
        setStartPosition(b);
        ASSERT_TRUE(loadPlayablePosition(b, fen)) << fen;
        setFromFen(expected, expectedFen ? expectedFen : fen);
        EXPECT_EQ(std::make_tuple(b.boardkey, b.castle, b.enpassant),
                  std::make_tuple(expected.boardkey, expected.castle, expected.enpassant))
            << fen;
    }
}

} // namespace
