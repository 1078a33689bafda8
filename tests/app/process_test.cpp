// The engine as a set of processes: every way it ends leaves no process and
// nothing in /dev/shm behind, and two engines of one build never meet.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <string>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

// Two slaves besides the controller, so that every kind of process is there.
const char* kSettings = "pref:MAXPROCESSES=2\n";

void startXboardGame(EngineProcess& e) {
    ASSERT_TRUE(e.waitForPrefix("Choose mode"));
    e.send("xboard");
    e.send("protover 2");
    e.send("new");
    e.send("ping 1");
    ASSERT_TRUE(e.expectLine("pong 1", 20000ms));
}

// quit after a move, and the end of input in the middle of a search of
// either protocol, end every process and leave no shared objects.
TEST(EngineProcesses, QuitAndEndOfInputEndEveryProcess) {
    for (const std::string way : {"quit", "xboard", "uci"}) {
        ScratchDir dir;
        dir.write("tarvok init.ini", kSettings);
        EngineProcess e(dir.path());
        if (way == "uci") {
            ASSERT_TRUE(e.waitForPrefix("Choose mode"));
            e.send("uci");
            e.send("setoption name number_of_processors value 2");
            e.send("isready");
            ASSERT_TRUE(e.expectLine("readyok", 20000ms));
            e.send("position startpos");
            e.send("go infinite");
        } else {
            startXboardGame(e);
            e.send(way == "quit" ? "st 1" : "st 100");
            e.send(way == "quit" ? "e2e4" : "go");
        }
        expectProcessesIn(dir.path(), 4);
        if (way == "quit") {
            ASSERT_TRUE(e.waitForPrefix("move ", 15000ms));
            e.send("quit");
        } else {
            e.drain(300ms);
            e.closeInput(); // in the middle of a search
        }
        EXPECT_EQ(e.waitExit(15000ms), 0) << way;
        expectNothingLeft(dir.path(), e.pid());
    }
}

TEST(EngineProcesses, KilledFrontEndTakesItsSearchProcessesAlong) {
    ScratchDir dir;
    dir.write("tarvok init.ini", kSettings);
    EngineProcess e(dir.path());
    startXboardGame(e);
    expectProcessesIn(dir.path(), 4);
    e.send("st 100");
    e.send("go");
    e.drain(300ms);
    e.killFrontEnd();
    EXPECT_EQ(e.waitExit(), 128 + SIGKILL);
    expectNothingLeft(dir.path(), e.pid());
}

TEST(EngineProcesses, FrontEndGoesOnWhenItsControllerDies) {
    ScratchDir dir;
    EngineProcess e(dir.path());
    startXboardGame(e);
    expectProcessesIn(dir.path(), 2);
    e.send("st 100");
    e.send("go");
    e.drain(300ms);
    for (pid_t p : processesIn(dir.path())) {
        if (p != e.pid()) kill(p, SIGKILL);
    }
    // Stopping the search waits for a controller that can no longer answer.
    e.send("force");
    e.send("ping 4");
    EXPECT_TRUE(e.expectLine("pong 4", 10000ms));
    e.send("quit");
    EXPECT_EQ(e.waitExit(15000ms), 0);
    expectNothingLeft(dir.path(), e.pid());
}

TEST(EngineProcesses, ProcessCountFromTheSettingsFile) {
    struct Case {
        const char* settings;
        const char* line;
        std::size_t searchProcesses;
    } cases[] = {
        {"", "Using 0 processor", 1},
        {"pref:MAXPROCESSES=1\n", "Using 1 processor", 2},
        {"pref:MAXPROCESSES=40\n", "Using 8 processors", 9},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        if (*c.settings) dir.write("tarvok init.ini", c.settings);
        EngineProcess e(dir.path());
        ASSERT_TRUE(e.waitForPrefix("Choose mode"));
        e.send("xboard");
        auto using_ = e.waitForPrefix("Using ", 20000ms);
        ASSERT_TRUE(using_) << c.settings;
        EXPECT_EQ(*using_, c.line);
        expectProcessesIn(dir.path(), c.searchProcesses + 1);
        e.send("quit");
        EXPECT_EQ(e.waitExit(15000ms), 0);
        expectNothingLeft(dir.path(), e.pid());
    }
}

TEST(EngineProcesses, TwoEnginesPlayAtOnceWithoutMeeting) {
    ScratchDir dirA, dirB;
    EngineProcess a(dirA.path()), b(dirB.path());
    startXboardGame(a);
    startXboardGame(b);
    // The engines play different openings at the same time; each must answer
    // its own game, and only once per move.
    const char* movesA[] = {"e2e4", "g1f3", "f1c4"};
    const char* movesB[] = {"d2d4", "c2c4", "b1c3"};
    a.send("st 1");
    b.send("st 1");
    const std::regex move("move [a-h][1-8][a-h][1-8][NBRQ]?");
    for (int i = 0; i < 3; ++i) {
        a.takeLines();
        b.takeLines();
        a.send(movesA[i]);
        b.send(movesB[i]);
        auto ma = a.waitForPrefix("move ", 15000ms);
        auto mb = b.waitForPrefix("move ", 15000ms);
        ASSERT_TRUE(ma && mb) << a.transcriptText() << b.transcriptText();
        EXPECT_TRUE(std::regex_match(*ma, move)) << *ma;
        EXPECT_TRUE(std::regex_match(*mb, move)) << *mb;
        a.send("ping 2");
        b.send("ping 2");
        ASSERT_TRUE(a.expectLine("pong 2", 20000ms)) << a.transcriptText();
        ASSERT_TRUE(b.expectLine("pong 2", 20000ms)) << b.transcriptText();
        int countA = 0, countB = 0;
        for (const auto& l : a.takeLines()) countA += l.rfind("move ", 0) == 0;
        for (const auto& l : b.takeLines()) countB += l.rfind("move ", 0) == 0;
        EXPECT_EQ(countA, 1); // one answer each, none taken over from the other
        EXPECT_EQ(countB, 1);
    }
    // Each engine's board holds exactly its own game: the last board it
    // printed after our move shows our pawn moves and no trace of the other's.
    a.send("force");
    b.send("force");
    a.send("quit");
    b.send("quit");
    EXPECT_EQ(a.waitExit(15000ms), 0);
    EXPECT_EQ(b.waitExit(15000ms), 0);
    std::string ta = a.transcriptText(), tb = b.transcriptText();
    EXPECT_EQ(ta.find("3P4"), std::string::npos);  // a never saw d4
    EXPECT_EQ(tb.find("4P3/"), std::string::npos); // b never saw e4
    expectNothingLeft(dirA.path(), a.pid());
    expectNothingLeft(dirB.path(), b.pid());
}

} // namespace
