// The engine searching with several processes, driven over UCI: the number of
// processes that search at once, a slave killed mid-search, a front end killed
// mid-split, and many short searches with stop, new game and quit between.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/tables.h"
#include "engine_driver.h"

namespace {

using namespace testing_engine;

// A UCI GUI sets the process count with an option before the game; the
// settings file it rewrites then holds it.
void startUci(EngineProcess& e, int slaves) {
    ASSERT_TRUE(e.waitForPrefix("Choose mode", 20000ms));
    e.send("uci");
    e.send("setoption name number_of_processors value " + std::to_string(slaves));
    e.send("isready");
    ASSERT_TRUE(e.waitFor([](const std::string& l) { return l == "readyok"; }, 20000ms))
        << "readyok";
}

// The search process number of a process (its only argument), -1 for the front end.
int processNumberOf(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/cmdline");
    std::string arg0, arg1;
    std::getline(f, arg0, '\0');
    if (!std::getline(f, arg1, '\0') || arg1.empty()) return -1;
    return arg1[0] - '0';
}

// CPU time (user + system) of a process in milliseconds.
long cpuMs(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(f, line);
    std::size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return (utime + stime) * 1000 / sysconf(_SC_CLK_TCK);
}

// The process's scheduler state: 'R' while it runs or waits for a processor,
// 'S' while it sleeps (waiting on an event or a lock).
char schedulerState(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(f, line);
    std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : '?';
}

std::vector<pid_t> searchProcesses(const ScratchDir& dir, pid_t frontEnd) {
    std::vector<pid_t> all = processesIn(dir.path()), found;
    for (pid_t p : all)
        if (p != frontEnd) found.push_back(p);
    return found;
}

long searchCpuMs(const ScratchDir& dir, pid_t frontEnd) {
    long sum = 0;
    for (pid_t p : searchProcesses(dir, frontEnd)) sum += cpuMs(p);
    return sum;
}

bool startsWith(const std::string& line, const char* prefix) {
    return line.rfind(prefix, 0) == 0;
}

const char* const BENCH_POSITION = "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12";

TEST(SplitEngine, WithOneSlaveNoMoreThanOneProcessSearchesAtOnce) {
    ScratchDir dir;
    EngineProcess e(dir.path());
    startUci(e, 1);
    expectProcessesIn(dir.path(), 3);
    e.send(std::string("position fen ") + BENCH_POSITION);
    long cpuBefore = searchCpuMs(dir, e.pid());
    auto start = std::chrono::steady_clock::now();
    e.send("go movetime 2500");
    // Runnable counts whether or not a processor is free, so the samples hold
    // on a loaded machine too: the two must (almost) never be runnable at once.
    std::vector<pid_t> procs = searchProcesses(dir, e.pid());
    int samples = 0, both = 0;
    while (std::chrono::steady_clock::now() - start < 2300ms) {
        int running = 0;
        for (pid_t p : procs) running += schedulerState(p) == 'R';
        ++samples;
        both += running >= 2;
        std::this_thread::sleep_for(5ms);
    }
    // Hand-overs make both runnable for a moment, longer on a loaded machine;
    // searching side by side makes it a third of the time or more.
    EXPECT_LE(both * 5, samples) << both << " of " << samples << " samples had both runnable";
    ASSERT_TRUE(e.waitForPrefix("bestmove ", 10000ms)) << "bestmove";
    long wall = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count();
    long cpu = searchCpuMs(dir, e.pid()) - cpuBefore;
    // A slave that searched beside the driver's own search, or a wait that
    // spins, would show as up to twice the wall time. 30 ms: clock ticks.
    EXPECT_LE(cpu, wall * 12 / 10 + 30) << "cpu " << cpu << " ms, wall " << wall << " ms";
    e.send("quit");
    EXPECT_EQ(e.waitExit(15000ms), 0);
}

// The slave that is burning CPU, i.e. searching a part of a block.
pid_t busySlave(const ScratchDir& dir, pid_t frontEnd) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::vector<pid_t> slaves;
        for (pid_t p : searchProcesses(dir, frontEnd))
            if (processNumberOf(p) >= 1) slaves.push_back(p);
        std::vector<long> before;
        for (pid_t p : slaves) before.push_back(cpuMs(p));
        std::this_thread::sleep_for(300ms);
        pid_t busiest = -1;
        long most = 0;
        for (std::size_t i = 0; i < slaves.size(); ++i) {
            long used = cpuMs(slaves[i]) - before[i];
            if (used > most) {
                most = used;
                busiest = slaves[i];
            }
        }
        if (busiest > 0) return busiest;
    }
    return -1;
}

TEST(SplitEngine, ASlaveKilledMidSearchIsReportedAndAKilledFrontEndLeavesNothing) {
    ScratchDir dir;
    EngineProcess e(dir.path());
    startUci(e, 2);
    expectProcessesIn(dir.path(), 4);
    e.send(std::string("position fen ") + BENCH_POSITION);
    e.send("go infinite");
    ASSERT_TRUE(e.waitForPrefix("info depth 8", 20000ms)) << "depth 8";
    pid_t victim = busySlave(dir, e.pid());
    ASSERT_GT(victim, 0) << "no slave was searching";
    int number = processNumberOf(victim);
    kill(victim, SIGKILL);
    std::string died = "info string search process " + std::to_string(number) + " died";
    EXPECT_TRUE(e.waitFor([&](const std::string& l) { return l == died; }, 8000ms)) << died;
    e.send("stop");
    ASSERT_TRUE(e.waitForPrefix("bestmove ", 8000ms)) << "bestmove after stop";
    // The next search runs with the slave that is left.
    e.send("go depth 9");
    ASSERT_TRUE(e.waitForPrefix("bestmove ", 30000ms)) << "bestmove of the next search";
    for (const std::string& l : e.transcript()) {
        EXPECT_FALSE(startsWith(l, "Timeout sbNum")) << l;
        EXPECT_FALSE(startsWith(l, "ERROR")) << l;
    }
    // The front end killed in the middle of a split leaves nothing behind.
    e.send("go infinite");
    ASSERT_TRUE(e.waitForPrefix("info depth 9", 20000ms)) << "depth 9";
    e.killFrontEnd();
    EXPECT_EQ(e.waitExit(), 128 + SIGKILL);
    expectNothingLeft(dir.path(), e.pid());
}

// ---- Many short searches ----

std::vector<std::string> suitePositions() {
    std::vector<std::string> fens;
    std::ifstream in(std::string(TARVOK_DATA_DIR) + "/wac.epd");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string a, b, c, d;
        if (s >> a >> b >> c >> d) fens.push_back(a + " " + b + " " + c + " " + d + " 0 1");
    }
    return fens;
}

bool legalIn(const std::string& fen, const std::string& text) {
    Board b;
    setFromFen(b, fen.c_str());
    Move legal[MOVELIST_CAPACITY];
    int n = generateLegal(b, legal);
    char buf[16];
    for (int i = 0; i < n; ++i)
        if (text == formatMove(legal[i], buf, true)) return true;
    return false;
}

void stressWith(int slaves, int searches, std::mt19937& rng) {
    SCOPED_TRACE(std::to_string(slaves) + " slaves");
    static const bool tables = [] {
        Board b;
        initBoardTables(nullptr, b);
        return true;
    }();
    (void)tables;
    std::vector<std::string> fens = suitePositions();
    ASSERT_GT(fens.size(), 100u);
    ScratchDir dir;
    int done = 0;
    while (done < searches) {
        auto e = std::make_unique<EngineProcess>(dir.path());
        startUci(*e, slaves);
        // A run of searches on one engine, then quit and a fresh one.
        int run = 20 + static_cast<int>(rng() % 40);
        for (int i = 0; i < run && done < searches; ++i, ++done) {
            const std::string& fen = fens[rng() % fens.size()];
            int ms = 50 + static_cast<int>(rng() % 151);
            if (rng() % 8 == 0) e->send("ucinewgame");
            e->send("position fen " + fen);
            if (rng() % 3 == 0) {
                e->send("go infinite");
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                e->send("stop");
            } else {
                e->send("go movetime " + std::to_string(ms));
            }
            auto best = e->waitForPrefix("bestmove ", 10000ms);
            ASSERT_TRUE(best) << "bestmove for " << fen;
            std::string move = best->substr(9, best->find(' ', 9) - 9);
            EXPECT_TRUE(legalIn(fen, move)) << fen << ": " << *best;
        }
        e->send("quit");
        EXPECT_EQ(e->waitExit(15000ms), 0);
        for (const std::string& l : e->transcript())
            for (const char* bad : {"Timeout sbNum", "ERROR", "WARNING", "@mutex"})
                EXPECT_EQ(l.find(bad), std::string::npos) << l;
        expectNothingLeft(dir.path(), e->pid());
    }
}

TEST(SplitEngine, SlowManyShortSearchesWithStopNewGameAndQuit) {
    std::mt19937 rng(20261205);
    stressWith(2, 250, rng);
    stressWith(3, 250, rng);
}

} // namespace
