// The engine searching with several processes, driven over UCI: how many
// search at once, a slave killed mid-search, a front end killed mid-split,
// and many short searches with stop, new game and quit between.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "board/board.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/tables.h"
#include "engine_driver.h"

namespace {

using namespace testing_engine;

const char* const kMiddleGame = "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12";

// Fields of /proc/<pid>/stat after the command name: [0] the scheduler
// state ('R' runnable, 'S' asleep), [11] and [12] user and system ticks.
std::vector<std::string> statOf(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(f, line);
    std::istringstream rest(line.substr(std::min(line.size(), line.rfind(')') + 2)));
    std::vector<std::string> fields;
    for (std::string w; rest >> w;) fields.push_back(w);
    return fields.size() > 12 ? fields : std::vector<std::string>(13, "0");
}

long cpuMs(pid_t pid) {
    auto f = statOf(pid);
    return (std::stol(f[11]) + std::stol(f[12])) * 1000 / sysconf(_SC_CLK_TCK);
}

std::vector<pid_t> searchProcesses(Engine& e, int from = 0) {
    std::vector<pid_t> found;
    for (int n = from; n < 9; ++n)
        if (pid_t p = searchProcessIn(e.dir.path(), n, 0ms); p > 0) found.push_back(p);
    return found;
}

TEST(SplitEngine, WithOneSlaveNoMoreThanOneProcessSearchesAtOnce) {
    Engine e;
    e.uci({"setoption name number_of_processors value 1"});
    expectProcessesIn(e.dir.path(), 3);
    e->send(std::string("position fen ") + kMiddleGame);
    std::vector<pid_t> procs = searchProcesses(e);
    long cpuBefore = 0;
    for (pid_t p : procs) cpuBefore += cpuMs(p);
    const auto start = std::chrono::steady_clock::now();
    e->send("go movetime 2500");
    // Runnable counts whether or not a processor is free, so the samples hold
    // on a loaded machine too. Hand-overs make both runnable for a moment;
    // searching side by side makes it a third of the time or more.
    int samples = 0, both = 0;
    for (; std::chrono::steady_clock::now() - start < 2300ms; ++samples) {
        int running = 0;
        for (pid_t p : procs) running += statOf(p)[0] == "R";
        both += running >= 2;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_LE(both * 5, samples) << both << " of " << samples << " samples had both runnable";
    e->expectPrefix("bestmove ", 10000ms);
    const long wall = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
    long cpu = -cpuBefore;
    for (pid_t p : procs) cpu += cpuMs(p);
    // A slave that searched beside the driver's own search, or a wait that
    // spins, would show as up to twice the wall time. 30 ms: clock ticks.
    EXPECT_LE(cpu, wall * 12 / 10 + 30) << "cpu " << cpu << " ms, wall " << wall << " ms";
    e.quit();
}

TEST(SplitEngine, ASlaveKilledMidSearchIsReportedAndAKilledFrontEndLeavesNothing) {
    Engine e;
    e.uci({"setoption name number_of_processors value 2"});
    expectProcessesIn(e.dir.path(), 4);
    e->send(std::string("position fen ") + kMiddleGame);
    e->send("go infinite");
    e->expectPrefix("info depth 8", 20000ms);
    // The slave that burns CPU, i.e. searches a part of a block.
    pid_t victim = -1;
    for (int attempt = 0; attempt < 20 && victim < 0; ++attempt) {
        std::vector<pid_t> slaves = searchProcesses(e, 1);
        std::vector<long> before;
        for (pid_t p : slaves) before.push_back(cpuMs(p));
        std::this_thread::sleep_for(300ms);
        for (std::size_t i = 0, most = 0; i < slaves.size(); ++i)
            if (std::size_t used = cpuMs(slaves[i]) - before[i]; used > most) {
                most = used;
                victim = slaves[i];
            }
    }
    ASSERT_GT(victim, 0) << "no slave was searching";
    const int number = victim == searchProcessIn(e.dir.path(), 1, 0ms) ? 1 : 2;
    kill(victim, SIGKILL);
    e->expectLine("info string search process " + std::to_string(number) + " died", 8000ms);
    e->send("stop");
    e->expectPrefix("bestmove ", 8000ms);
    // The next search runs with the slave that is left.
    e.until("go depth 9", "bestmove ", 30000ms);
    EXPECT_EQ(withPrefix(e->transcript(), "Timeout sbNum"), Lines{});
    EXPECT_EQ(withPrefix(e->transcript(), "ERROR"), Lines{});
    // The front end killed in the middle of a split leaves nothing behind.
    e.until("go infinite", "info depth 9", 20000ms);
    e->killFrontEnd();
    EXPECT_EQ(e->waitExit(), 128 + SIGKILL);
    expectNothingLeft(e.dir.path(), e->pid());
}

bool legalIn(const std::string& fen, const std::string& text) {
    Board b;
    setFromFen(b, fen.c_str());
    Move legal[MOVELIST_CAPACITY];
    char buf[16];
    for (int i = 0, n = generateLegal(b, legal); i < n; ++i)
        if (text == formatMove(legal[i], buf, true)) return true;
    return false;
}

TEST(SplitEngine, SlowManyShortSearchesWithStopNewGameAndQuit) {
    Board start;
    initBoardTables(nullptr, start);
    std::vector<std::string> fens;
    std::ifstream in(std::string(TARVOK_DATA_DIR) + "/wac.epd");
    for (std::string a, b, c, d, rest; in >> a >> b >> c >> d && std::getline(in, rest);)
        fens.push_back(a + " " + b + " " + c + " " + d + " 0 1");
    ASSERT_GT(fens.size(), 100u);
    std::mt19937 rng(20261205);
    for (int slaves : {2, 3}) {
        for (int run = 0; run < 3; ++run) { // a run of searches, then quit and a fresh engine
            SCOPED_TRACE(std::to_string(slaves) + " slaves, run " + std::to_string(run));
            Engine e;
            e.uci({"setoption name number_of_processors value " + std::to_string(slaves)});
            for (int i = 0; i < 30; ++i) {
                const std::string& fen = fens[rng() % fens.size()];
                const int ms = 50 + static_cast<int>(rng() % 151);
                if (rng() % 8 == 0) e->send("ucinewgame");
                e->send("position fen " + fen);
                if (rng() % 3 == 0) {
                    e->send("go infinite");
                    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                    e->send("stop");
                } else {
                    e->send("go movetime " + std::to_string(ms));
                }
                auto best = e->expectPrefix("bestmove ", 10000ms);
                ASSERT_TRUE(best);
                EXPECT_TRUE(legalIn(fen, best->substr(9, best->find(' ', 9) - 9))) << fen << *best;
            }
            e.quit();
            for (const std::string& l : e->transcript())
                for (const char* bad : {"Timeout sbNum", "ERROR", "WARNING", "@mutex"})
                    EXPECT_EQ(l.find(bad), std::string::npos) << l;
        }
    }
}

} // namespace
