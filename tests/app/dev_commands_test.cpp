// The xboard developer commands in a running engine: the benchmarks, the EPD
// suite and the tuner handed to the search controller, how other commands
// meet them, and tarvok-dev's tablebase probe.
#include <gtest/gtest.h>

#include <thread>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

// The same nodes every time: each run starts from empty tables. The game is
// then the last position with the engine's move made.
TEST(DevCommands, BenchAndSpeedCountTheSameNodesEveryTime) {
    Engine x;
    x.xboard();
    Lines out = withoutTimes(x.until({"nopost", "bench 4"}, "nodes="));
    EXPECT_EQ(withPrefix(out, "move "), (Lines{"move f6g4", "move c1d2", "move c4d5"}));
    EXPECT_EQ(out.back(), "nodes=14945 time=_.ms speed=_.kNPS");
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(withoutTimes(x.until({"bench 6"}, "nodes=")).back(),
                  "nodes=161077 time=_.ms speed=_.kNPS");
    x->send("undo"); // takes the engine's move back; the set-up position has none
    EXPECT_EQ(withPrefix(x.until({"undo"}, "Cannot undo!"), "Cannot undo!").size(), 1u);
    out = withoutTimes(x.until({"speed 3"}, "depth="));
    EXPECT_EQ(Lines(out.end() - 3, out.end()),
              (Lines{"No !benchSpeed.txt file found.", "(Put your fen-positions there).",
                     "depth=3 nodes=0 Mnodes=0 time=_.ms speed=_.kNPS"}));
    x.dir.write("!benchSpeed.txt",
                "r2q1rk1/1pp1bppp/2n1bn2/p1P1p3/3pP3/P2P1N2/1PQNBPPP/1RB2RK1 b - -\n"
                "- a comment line\n+ 35\n8/8/8/8/8/8/8/8 w - -\n"
                "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n");
    out = withoutTimes(x.until({"speed 3"}, "depth="));
    EXPECT_EQ(withPrefix(out, "move "), (Lines{"move e6a2", "move e2e4"}));
    EXPECT_EQ(withPrefix(out, "Error"), Lines{"Error (illegal position): 8/8/8/8/8/8/8/8 w - -"});
    EXPECT_EQ(out.back(), "depth=3 nodes=2611 Mnodes=0 time=_.ms speed=_.kNPS");
    // A benchmark or a suite started while the engine ponders ends that task
    // first, and pondering comes back on after the next game move. "?" leaves
    // a suite's search its time and the tuner alone; quit ends the tuner.
    x.dir.write("!epd_suite.epd", "7k/R7/8/p7/8/8/8/K5R1 b - - bm a4;\n");
    x.until({"new", "hard", "st 1", "e2e4"}, "===== Start Pondering", 10000ms);
    EXPECT_EQ(withPrefix(x.until({"bench 4"}, "nodes=", 20000ms), "move ").size(), 3u);
    x.until({"force", "new", "e2e4"}, "===== Start Pondering", 10000ms);
    EXPECT_EQ(withPrefix(x.until({"benchepd"}, " percentageCorrect="), "EQUAL"), Lines{"EQUAL"});
    EXPECT_EQ(x.dir.read("!output_settings.txt"),
              "percentageCorrect=100.000000, SUIT_0=1/1\nSUIT_1=1/1\n");
    // WAC.002 is not solved at once: its search takes its whole second.
    x.dir.write("!epd_suite.epd",
                "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - bm Rxb2; id \"WAC.002\";\n");
    const auto start = std::chrono::steady_clock::now();
    x->send("benchepd 1000");
    std::this_thread::sleep_for(300ms); // the search has begun
    x->send("?");
    x->expectPrefix("DIFFERENT: ", 10000ms);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
    x->expectPrefix(" percentageCorrect=");
    x.dir.write("!finalResults.txt",
                "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12\n+20\n-35\n"
                "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -\n+300\n");
    x.until({"tune"}, "param=", 20000ms);
    x.until({"?", "."}, "stat01:"); // "." answers while the tuner runs
    x.quit();
    const std::string file = x.dir.read("!output_settings.txt");
    EXPECT_NE(file.find("\nRound 0: startScore="), file.npos) << file;
    EXPECT_NE(file.find("\nStopped: startScore="), file.npos) << file;
}

// Ka1 Qb1 against Ka8: mate in 7.
TEST(DevCommands, ProbeRegistersTablesFromTheSettingsFile) {
    ScratchDir dir;
    dir.write("tarvok init.ini", "pref:NalimovCache=1\npref:egtb-path=.\n");
    EXPECT_EQ(runShell(dir.path(),
                       TARVOK_BINARY_DIR "/tarvok-tbgen . kqk >/dev/null && " TARVOK_BINARY_DIR
                                         "/tarvok-dev probe 'k7/8/8/8/8/8/8/KQ6 w - - 0 1'"),
              std::make_pair(
                  0, std::string("Egtbs initializated(3)\nEgtb cache size 1M\nprobe 15986\n")));
}

} // namespace
