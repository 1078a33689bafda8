// Start-up, shutdown and failures of the engine's processes: a search
// process that is slow to start, one that dies, a front end killed early, a
// table that does not fit, and two engines sharing one folder.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

// Sends "isready" and waits for "readyok".
bool ready(EngineProcess& e, Duration timeout = 5000ms) {
    e.send("isready");
    return e.waitFor([](const std::string& l) { return l == "readyok"; }, timeout).has_value();
}

// Starts a UCI engine whose game controller is built by the next line sent.
void startUci(EngineProcess& e, int slaves) {
    ASSERT_TRUE(e.waitForPrefix("Choose mode", 5000ms));
    e.send("uci");
    ASSERT_TRUE(e.waitForPrefix("uciok", 5000ms));
    e.send("setoption name number_of_processors value " + std::to_string(slaves));
    e.send("setoption name Hash value 1");
}

// Builds the game controller and stops process 0 as soon as it exists, so
// (almost always) before it has attached to the shared objects.
pid_t buildAndStopController(EngineProcess& e, const ScratchDir& dir, const std::string& line) {
    e.send(line);
    pid_t controller = searchProcessIn(dir.path(), 0);
    if (controller > 0) kill(controller, SIGSTOP);
    return controller;
}

std::int64_t msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

TEST(Lifecycle, SlowControllerNeitherKillsTheInstanceNorHoldsUpQuit) {
    ScratchDir dir;
    EngineProcess e(dir.path());
    startUci(e, 1);
    pid_t controller = buildAndStopController(e, dir, "isready");
    ASSERT_GT(controller, 0);
    // The front end goes on once the stopped process makes no progress, and
    // keeps the names the process has yet to open.
    ASSERT_TRUE(e.waitFor([](const std::string& l) { return l == "readyok"; }, 6000ms))
        << e.transcriptText();
    EXPECT_FALSE(sharedObjectsOf(e.pid()).empty());
    e.send("setoption name OwnBook value false"); // the stopped controller must search
    e.send("position startpos moves e2e4");
    e.send("go depth 3");
    EXPECT_FALSE(e.waitForPrefix("bestmove", 500ms));
    // Continued, it attaches and answers the waiting search.
    kill(controller, SIGCONT);
    auto best = e.waitForPrefix("bestmove", 5000ms);
    ASSERT_TRUE(best) << e.transcriptText();
    e.drain(300ms); // the board printed after the move: the task's end
    EXPECT_TRUE(ready(e));

    // Stopped in the middle of a search, it cannot keep quit waiting.
    e.send("go infinite");
    ASSERT_TRUE(e.waitForPrefix("start thinkAndMakeBestMove", 5000ms));
    kill(controller, SIGSTOP);
    const auto quitAt = std::chrono::steady_clock::now();
    e.send("quit");
    EXPECT_EQ(e.waitExit(5000ms), 0);
    EXPECT_LT(msSince(quitAt), 2000);
    expectNothingLeft(dir.path(), e.pid(), 5000ms);
}

TEST(Lifecycle, FrontEndKilledBeforeItsProcessesAttachedLeavesNothing) {
    {
        // Killed while the GUI reads its options: nothing was made yet.
        ScratchDir dir;
        EngineProcess e(dir.path());
        ASSERT_TRUE(e.waitForPrefix("Choose mode", 5000ms));
        e.send("uci");
        ASSERT_TRUE(e.waitForPrefix("uciok", 5000ms));
        e.killFrontEnd();
        EXPECT_EQ(e.waitExit(), 128 + SIGKILL);
        expectNothingLeft(dir.path(), e.pid(), 5000ms);
    }
    ScratchDir dir;
    dir.write("tarvok init.ini", "pref:MAXPROCESSES=1\npref:size-hashtable=1\n");
    EngineProcess e(dir.path());
    ASSERT_TRUE(e.waitForPrefix("Choose mode", 5000ms));
    pid_t controller = buildAndStopController(e, dir, "xboard");
    ASSERT_GT(controller, 0);
    ASSERT_GT(searchProcessIn(dir.path(), 1), 0);
    e.killFrontEnd();
    EXPECT_EQ(e.waitExit(), 128 + SIGKILL);
    kill(controller, SIGCONT);
    expectNothingLeft(dir.path(), e.pid(), 5000ms);
}

TEST(Lifecycle, DeadControllerIsReportedRestartedAndTheSearchAnswered) {
    struct Case {
        bool uci;
        int signal;
    } cases[] = {{true, SIGKILL}, {true, SIGTERM}, {false, SIGKILL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.uci ? "uci " : "xboard ") + strsignal(c.signal));
        ScratchDir dir;
        // The book off: the start position must be searched.
        dir.write("tarvok init.ini",
                  "pref:MAXPROCESSES=1\npref:size-hashtable=1\npref:enable_BOOK=0\n");
        EngineProcess e(dir.path());
        ASSERT_TRUE(e.waitForPrefix("Choose mode", 5000ms));
        const std::string notice = std::string(c.uci ? "info string " : "") +
                                   "Search process 0 ended; starting the search processes again.";
        const std::string answer = c.uci ? "bestmove " : "move ";
        if (c.uci) {
            e.send("uci");
            e.send("setoption name OwnBook value false");
            ASSERT_TRUE(ready(e));
            e.send("position startpos");
            e.send("go movetime 800");
        } else {
            e.send("xboard");
            e.send("new");
            e.send("st 1");
            e.send("go");
        }
        ASSERT_TRUE(e.waitForPrefix("===========time next move", 5000ms));
        pid_t first = searchProcessIn(dir.path(), 0);
        ASSERT_GT(first, 0);
        // Killed in the middle of a search: noticed at once, and the search
        // is answered by the new controller.
        kill(first, c.signal);
        const auto killedAt = std::chrono::steady_clock::now();
        ASSERT_TRUE(e.waitFor([&](const std::string& l) { return l == notice; }, 3000ms))
            << e.transcriptText();
        EXPECT_LT(msSince(killedAt), 1000);
        ASSERT_TRUE(e.waitForPrefix(answer, 5000ms)) << e.transcriptText();
        EXPECT_FALSE(e.waitForPrefix(answer, 300ms)); // once

        // Killed while idle: the next search is answered as well.
        pid_t second = searchProcessIn(dir.path(), 0);
        ASSERT_GT(second, 0);
        EXPECT_NE(second, first);
        kill(second, c.signal);
        ASSERT_TRUE(e.waitFor([&](const std::string& l) { return l == notice; }, 3000ms));
        if (c.uci) {
            e.send("go depth 2");
        } else {
            e.send("force");
            e.send("sd 2");
            e.send("go");
        }
        ASSERT_TRUE(e.waitForPrefix(answer, 5000ms)) << e.transcriptText();
        e.send("quit");
        EXPECT_EQ(e.waitExit(5000ms), 0);
        expectNothingLeft(dir.path(), e.pid(), 5000ms);
    }
}

// In a 20 MB "/dev/shm" the 64 MB table and its 32 MB evaluation hash are
// halved until they fit; under 1 MB the engine cannot start and says why.
TEST(Lifecycle, TableThatDoesNotFitIsHalvedAndOneMegabyteIsTheFloor) {
    {
        ScratchDir dir;
        EngineProcess e(dir.path(), {}, 20L << 20);
        ASSERT_TRUE(e.waitForPrefix("Choose mode", 5000ms));
        e.send("uci");
        e.send("setoption name Hash value 64");
        ASSERT_TRUE(ready(e)) << e.transcriptText();
        std::vector<std::string> told;
        for (const std::string& l : e.takeLines())
            if (l.rfind("info string", 0) == 0) told.push_back(l);
        EXPECT_EQ(told, (std::vector<std::string>{
                            "info string Could not get 32 MB for sharedEvalHashtable, using 16 MB.",
                            "info string Could not get 64 MB for sharedHashtable, using 16 MB."}));
        // Made at once, their memory is taken while the engine waits.
        auto reserved = [&] {
            std::uint64_t bytes = 0;
            for (const std::string& name : sharedObjectsOf(e.pid())) {
                struct stat st;
                if (name.find("Hashtable") != std::string::npos &&
                    stat(("/dev/shm/" + name).c_str(), &st) == 0)
                    bytes += static_cast<std::uint64_t>(st.st_blocks) * 512;
            }
            return bytes;
        };
        for (int waited = 0; waited < 3000 && reserved() < (32u << 20); waited += 50)
            std::this_thread::sleep_for(50ms);
        EXPECT_EQ(reserved(), 32u << 20);
        e.send("position startpos");
        e.send("go depth 3");
        EXPECT_TRUE(e.waitForPrefix("bestmove", 5000ms)) << e.transcriptText();
        e.send("quit");
        EXPECT_EQ(e.waitExit(5000ms), 0);
        expectNothingLeft(dir.path(), e.pid(), 5000ms);
    }
    {
        ScratchDir dir;
        EngineProcess e(dir.path(), {}, 512L << 10);
        ASSERT_TRUE(e.waitForPrefix("Choose mode", 5000ms));
        e.send("xboard");
        EXPECT_TRUE(e.waitFor(
            [](const std::string& l) {
                return l == "ERROR! Could not create file mapping object sharedEvalHashtable.";
            },
            5000ms));
        EXPECT_EQ(e.waitExit(5000ms), 1);
        expectNothingLeft(dir.path(), e.pid(), 5000ms);
    }
}

// An engine whose settings file is rewritten (by another engine started in
// the same folder) while its search processes start still plays with the
// options its own front end read.
TEST(Lifecycle, SearchProcessesRunWithTheirFrontEndsOptions) {
    ScratchDir dir;
    EngineProcess e(dir.path());
    startUci(e, 0);
    pid_t controller = buildAndStopController(e, dir, "isready");
    ASSERT_GT(controller, 0);
    ASSERT_TRUE(e.waitFor([](const std::string& l) { return l == "readyok"; }, 6000ms));
    dir.write("tarvok init.ini", "pref:VALQUEEN=100\npref:size-hashtable=2\n");
    kill(controller, SIGCONT);
    e.send("position fen k7/8/8/8/8/8/8/KQ4q1 w - - 0 1");
    e.send("go depth 2");
    ASSERT_TRUE(e.waitForPrefix("bestmove b1g1", 5000ms)) << e.transcriptText();
    // The controller takes the queen with its front end's value (900, not
    // the file's 100): the board it prints after its move has none left.
    EXPECT_TRUE(e.waitFor(
        [](const std::string& l) {
            return l == "toMove=black  eval=987  lazy=900  wMat=900  bMat=0";
        },
        3000ms))
        << e.transcriptText();
    e.send("quit");
    EXPECT_EQ(e.waitExit(5000ms), 0);
}

} // namespace
