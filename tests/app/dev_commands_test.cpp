// The xboard developer commands in a running engine: the benchmarks, the EPD
// suite and the tuner handed to the search controller, and how other
// commands meet them.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

bool startsWith(const std::string& s, const std::string& p) {
    return s.rfind(p, 0) == 0;
}

// An xboard engine in a fresh directory, its files written first.
class XboardEngine {
  public:
    // An engine whose directory holds the file name with text.
    explicit XboardEngine(const std::string& name = "", const std::string& text = "") {
        if (!name.empty()) dir.write(name, text);
        e = std::make_unique<EngineProcess>(dir.path());
        e->send("xboard");
        e->send("ping 1");
        EXPECT_TRUE(e->waitFor([](const std::string& l) { return l == "pong 1"; }))
            << "waiting for pong 1";
        e->takeLines();
    }
    EngineProcess& operator*() { return *e; }
    EngineProcess* operator->() { return e.get(); }

    // Sends a command and collects the lines up to the one starting with
    // prefix (included); fails the test when it does not come in time.
    std::vector<std::string> run(const std::string& command, const std::string& prefix,
                                 Duration timeout = 10000ms) {
        e->takeLines();
        e->send(command);
        auto line = e->waitForPrefix(prefix, timeout);
        EXPECT_TRUE(line) << "waiting for \"" << prefix << "\" after " << command << "\n"
                          << e->transcriptText();
        return e->takeLines();
    }

    ScratchDir dir;
    std::unique_ptr<EngineProcess> e;
};

int countPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& l : lines) n += startsWith(l, prefix);
    return n;
}

long long benchNodes(const std::string& line) {
    std::smatch m;
    EXPECT_TRUE(
        std::regex_match(line, m, std::regex("nodes=(\\d+) time=\\d+\\.ms speed=\\d+\\.kNPS")))
        << line;
    return m.empty() ? -1 : std::stoll(m[1]);
}

TEST(DevCommands, BenchSearchesThreePositionsAndLeavesTheLastOne) {
    XboardEngine x;
    x->send("nopost");
    std::vector<std::string> out = x.run("bench 4", "nodes=");
    EXPECT_EQ(countPrefix(out, "move "), 3);
    EXPECT_GT(benchNodes(out.back()), 0);

    // The same nodes every time: both runs start from empty tables.
    out = x.run("bench 6", "nodes=");
    const long long nodes = benchNodes(out.back());
    out = x.run("bench 6", "nodes=");
    EXPECT_EQ(benchNodes(out.back()), nodes);
    XboardEngine fresh;
    out = fresh.run("bench 6", "nodes=");
    EXPECT_EQ(benchNodes(out.back()), nodes);

    // The game is the last position with the engine's move made: one undo
    // takes the move back, a second finds the set-up position.
    x->send("undo");
    out = x.run("undo", "Cannot undo!");
    EXPECT_EQ(countPrefix(out, "Cannot undo!"), 1) << x->transcriptText();
    x->send("quit");
    EXPECT_EQ(x->waitExit(5000ms), 0);
}

TEST(DevCommands, BenchAfterAMoveWhilePondering) {
    XboardEngine x;
    x->send("new");
    x->send("hard");
    x->send("st 1");
    x.run("e2e4", "move ", 10000ms);
    // The engine ponders now; the benchmark ends that task first.
    std::vector<std::string> out = x.run("bench 4", "nodes=", 20000ms);
    EXPECT_EQ(countPrefix(out, "move "), 3);
    // Pondering comes back on: the next game move is followed by pondering.
    x->send("force");
    x->send("new");
    out = x.run("e2e4", "move ", 10000ms);
    EXPECT_TRUE(x->waitForPrefix("===== Start Pondering", 5000ms)) << "waiting for pondering";
}

TEST(DevCommands, SpeedOverThePositionFile) {
    XboardEngine missing;
    std::vector<std::string> out = missing.run("speed 3", "depth=");
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[out.size() - 3], "No !benchSpeed.txt file found.");
    EXPECT_EQ(out[out.size() - 2], "(Put your fen-positions there).");
    EXPECT_TRUE(std::regex_match(
        out.back(), std::regex("depth=3 nodes=0 Mnodes=0 time=\\d+\\.ms speed=0\\.kNPS")))
        << out.back();

    const std::string fens = "r2q1rk1/1pp1bppp/2n1bn2/p1P1p3/3pP3/P2P1N2/1PQNBPPP/1RB2RK1 b - -\n"
                             "- a comment line\n"
                             "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n"
                             "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12\n"
                             "+ 35\n"
                             "8/8/8/8/8/8/8/8 w - -\n"
                             "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -\n"
                             "5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - -\n";
    XboardEngine x("!benchSpeed.txt", fens);
    x->send("nopost");
    out = x.run("speed 3", "depth=");
    EXPECT_EQ(countPrefix(out, "move "), 5);
    EXPECT_EQ(countPrefix(out, "Error (illegal position): 8/8/8/8/8/8/8/8 w - -"), 1);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        out.back(), m,
        std::regex("depth=3 nodes=(\\d+) Mnodes=0 time=\\d+\\.ms speed=\\d+\\.kNPS")))
        << out.back();
    EXPECT_GT(std::stoll(m[1]), 0);
}

TEST(DevCommands, QuitDuringTuningEndsItWithAStoppedLine) {
    XboardEngine x("!finalResults.txt",
                   "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12\n+20\n-35\n"
                   "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -\n+300\n");
    x.run("tune", "param=", 20000ms);
    // "?" leaves the tool alone; "." answers while it runs.
    x->send("?");
    x.run(".", "stat01:");
    x->send("quit");
    EXPECT_EQ(x->waitExit(5000ms), 0) << "waiting for the engine to end";
    const std::string file = x.dir.read("!output_settings.txt");
    ASSERT_GE(file.size(), 2u);
    const std::size_t last = file.rfind('\n', file.size() - 2);
    EXPECT_TRUE(startsWith(file.substr(last + 1), "Stopped: startScore=")) << file;
    EXPECT_TRUE(startsWith(file, "Round 0: startScore=")) << file;
}

TEST(DevCommands, MoveNowLeavesTheSuiteAlone) {
    // WAC.002 is not solved at once: its search takes its whole second.
    XboardEngine x("!epd_suite.epd",
                   "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - bm Rxb2; id \"WAC.002\";\n");
    const auto start = std::chrono::steady_clock::now();
    x->send("benchepd 1000");
    std::this_thread::sleep_for(300ms); // the search has begun
    x->send("?");
    auto line = x->waitFor(
        [](const std::string& l) { return l == "EQUAL" || startsWith(l, "DIFFERENT: "); }, 10000ms);
    ASSERT_TRUE(line) << "waiting for the verdict\n" << x->transcriptText();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
    EXPECT_TRUE(x->waitForPrefix(" percentageCorrect=", 5000ms)) << "waiting for the summary";
}

TEST(DevCommands, ASuiteStartedWhilePonderingEndsThePonderSearchFirst) {
    XboardEngine x("!epd_suite.epd", "7k/R7/8/p7/8/8/8/K5R1 b - - bm a4;\n");
    x->send("new");
    x->send("hard");
    x->send("st 1");
    x.run("e2e4", "===== Start Pondering", 10000ms);
    std::vector<std::string> out = x.run("benchepd", " percentageCorrect=", 5000ms);
    EXPECT_EQ(countPrefix(out, "EQUAL"), 1);
    EXPECT_EQ(x.dir.read("!output_settings.txt"),
              "percentageCorrect=100.000000, SUIT_0=1/1\nSUIT_1=1/1\n");
}

TEST(SlowDevCommands, WinAtChessInSuitesOfAHundred) {
    std::ifstream in(std::string(TARVOK_DATA_DIR) + "/wac.epd");
    std::string suite((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    XboardEngine x("!epd_suite.epd", suite);
    x->send("benchepd 100");
    int verdicts = 0;
    for (int i = 0; i < 300; ++i) {
        auto l = x->waitFor(
            [](const std::string& s) { return s == "EQUAL" || startsWith(s, "DIFFERENT: "); },
            5000ms);
        ASSERT_TRUE(l) << "waiting for verdict " << i + 1;
        ++verdicts;
    }
    EXPECT_EQ(verdicts, 300);
    ASSERT_TRUE(x->waitForPrefix(" percentageCorrect=", 5000ms)) << "waiting for the summary";
    const std::string summary = x.dir.read("!output_settings.txt");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(summary, m,
                                 std::regex("percentageCorrect=[0-9.]+, SUIT_0=(\\d+)/300\n"
                                            "SUIT_1=(\\d+)/100\nSUIT_2=(\\d+)/100\n"
                                            "SUIT_3=(\\d+)/100\n")))
        << summary;
    EXPECT_EQ(std::stoi(m[1]), std::stoi(m[2]) + std::stoi(m[3]) + std::stoi(m[4]));
}

} // namespace
