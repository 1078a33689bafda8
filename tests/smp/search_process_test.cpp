// Real search processes started the way the front end starts them: process 0
// answers tasks, slaves announce themselves and give a block back, and all of
// them end at quit with their closing lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "process_helpers.h"
#include "smp/hash_tables.h"
#include "smp/locks.h"
#include "smp/search_process.h"

using platform::NamedEvent;
using platform::NamedMutex;
using platform::WaitResult;

namespace {

int countOf(const std::string& text, const std::string& line) {
    int n = 0;
    for (std::size_t p = text.find(line); p != std::string::npos; p = text.find(line, p + 1)) ++n;
    return n;
}

// Runs the test in a directory of its own with a small settings file, as the
// search processes read "tarvok init.ini" from their working directory.
class SearchProcessTest : public ::testing::Test {
  protected:
    SearchProcessTest() {
        char dir[] = "/tmp/tarvok-sp-XXXXXX";
        if (mkdtemp(dir)) directory = dir;
        if (getcwd(previous, sizeof previous) && chdir(directory.c_str()) == 0) {
            FILE* f = std::fopen(SETTINGS_FILE_NAME, "w");
            if (f) {
                std::fputs("pref:size-hashtable=1\n", f);
                std::fclose(f);
            }
        }
    }
    ~SearchProcessTest() override {
        std::remove(SETTINGS_FILE_NAME);
        if (chdir(previous) != 0) return;
        rmdir(directory.c_str());
        closeGlobalLocks();
    }
    std::string directory;
    char previous[4096] = "";
    TestInstance instance;
};

template <class Object>
bool openNamed(Object& object, const char* prefix, int number = -1, bool underscore = false) {
    char name[OBJECT_NAME_SIZE];
    if (number < 0)
        objectName(name, prefix, TEST_IDENTITY);
    else
        objectName(name, prefix, TEST_IDENTITY, number, underscore);
    return waitUntil([&] { return object.open(name); }, 10000);
}

TEST_F(SearchProcessTest, ControllerAndSlavesFromStartToQuit) {
    constexpr int kProcesses = 3;
    // The front end's part of the set-up.
    ASSERT_TRUE(openGlobalLocks(TEST_IDENTITY, FRONT_END_PROCESS));
    EvalHash evalHash;
    TranspositionTable tt;
    platform::SharedMapping evalMapping, ttMapping, stateMapping;
    ASSERT_EQ(makeEvalHash(evalHash, evalMapping, TEST_IDENTITY, 131072).status,
              platform::MapStatus::Ok);
    ASSERT_EQ(makeTranspositionTable(tt, ttMapping, TEST_IDENTITY, 65536).status,
              platform::MapStatus::Ok);
    SharedState* state = openSharedState(stateMapping, TEST_IDENTITY);
    ASSERT_NE(state, nullptr);
    ASSERT_TRUE(stateMapping.created);
    setSharedDefaults(*state);
    NamedEvent startSearch, searchEnded;
    ASSERT_TRUE(createTaskEvents(startSearch, searchEnded, TEST_IDENTITY));
    state->numProcesses = kProcesses;
    for (int i = 0; i < kProcesses; ++i) state->numSplitBlock[i] = 7;

    // Start them with their output going to a pipe of this test.
    Pipe out;
    int savedOut = dup(1);
    std::fflush(stdout);
    dup2(out.writeEnd(), 1);
    setenv(TEST_CHILD_ENV, "search", 1);
    pid_t pids[kProcesses];
    int started = startSearchProcesses("tarvok", kProcesses, pids);
    unsetenv(TEST_CHILD_ENV);
    dup2(savedOut, 1);
    close(savedOut);
    out.closeWrite();
    ChildProcess guards[kProcesses];
    for (int i = 0; i < kProcesses; ++i) guards[i].adopt(pids[i]);
    ASSERT_EQ(started, kProcesses);
    for (int i = 0; i < kProcesses; ++i) EXPECT_EQ(state->numSplitBlock[i], 0);

    // The slaves announce themselves idle, and again every second.
    NamedEvent available;
    ASSERT_TRUE(openNamed(available, SLAVE_AVAILABLE_PREFIX));
    ASSERT_TRUE(waitUntil(
        [&] {
            return sharedLoad(state->processState[1]) == PROCESS_IDLE &&
                   sharedLoad(state->processState[2]) == PROCESS_IDLE;
        },
        10000));
    for (int drain = 0; drain < 2; ++drain) {
        platform::sleepMs(100);
        while (available.wait(0) == WaitResult::Acquired) {
        }
    }
    EXPECT_EQ(available.wait(1600), WaitResult::Acquired);

    // Process 0 answers every task by ending it at once.
    for (int task : {TASK_THINK, TASK_PONDER}) {
        state->allSearchprocesEnabled = task;
        ASSERT_TRUE(startSearch.signal());
        EXPECT_EQ(searchEnded.wait(10000), WaitResult::Acquired);
    }

    // A block handed to slave 2 comes back: the slave leaves it and is idle.
    NamedMutex blockLock;
    NamedEvent blockReady, startSlave1, startSlave2;
    ASSERT_TRUE(openNamed(blockLock, SPLIT_LOCK_PREFIX, 5, true));
    ASSERT_TRUE(openNamed(blockReady, BLOCK_READY_PREFIX, 5, true));
    ASSERT_TRUE(openNamed(startSlave1, START_SLAVE_PREFIX, 1));
    ASSERT_TRUE(openNamed(startSlave2, START_SLAVE_PREFIX, 2));
    SplitBlock& block = state->splitBlocks[5];
    EXPECT_EQ(block.owner, SPLIT_BLOCK_FREE);
    EXPECT_EQ(block.number, 5);
    lockState();
    state->processState[2] = PROCESS_BUSY;
    lockSplitBlock(blockLock);
    block.owner = 0;
    block.numSlaves = 1;
    block.depth = 4;
    state->numSplitBlock[2] = 5;
    unlockSplitBlock(blockLock);
    unlockState();
    ASSERT_TRUE(startSlave2.signal());
    EXPECT_EQ(blockReady.wait(10000), WaitResult::Acquired);
    lockState();
    lockSplitBlock(blockLock);
    EXPECT_EQ(block.numSlaves, 0);
    EXPECT_EQ(state->numSplitBlock[2], 0);
    EXPECT_EQ(state->processState[2], PROCESS_IDLE);
    block.owner = SPLIT_BLOCK_FREE;
    unlockSplitBlock(blockLock);
    unlockState();

    // A slave woken without a block goes back to waiting.
    ASSERT_TRUE(startSlave1.signal());
    platform::sleepMs(100);
    EXPECT_TRUE(platform::processRuns(pids[1]));
    EXPECT_EQ(state->processState[1], PROCESS_IDLE);

    // Quit: process 0 wakes, wakes the slaves, and every process ends.
    state->running = 0;
    ASSERT_TRUE(startSearch.signal());
    EXPECT_EQ(reapSearchProcesses(pids, kProcesses, 5000), kProcesses);
    for (auto& g : guards) g.adopt(-1);

    std::string text = out.receiveAll(2000);
    for (const char* line :
         {"unmapping sharedHashtable....\n", "Getting rid of handle sharedHashtable....\n",
          "unmapping....\n", "Getting rid of handle....\n", "unmapping sharedEvalHashtable....\n",
          "Getting rid of handle sharedEvalHashtable....\n"})
        EXPECT_EQ(countOf(text, line), kProcesses) << line << text;
    EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;

    testing::internal::CaptureStdout();
    closeTranspositionTable(tt, ttMapping);
    closeSharedState(stateMapping);
    closeEvalHash(evalHash, evalMapping);
    testing::internal::GetCapturedStdout();
}

TEST(EngineInstance, FrontEndNamesItsInstanceAndRemovesItAtQuit) {
    ChildProcess frontEnd(forkChild([] {
        if (!beginEngineInstance()) return 1;
        const char* exported = std::getenv(platform::INSTANCE_ENV);
        if (!exported || std::string(exported) != platform::instanceId()) return 2;
        if (std::atoi(exported) != getpid()) return 3;
        NamedEvent e;
        if (!e.create("handleStartSearchX") || !platform::objectExists("handleStartSearchX"))
            return 4;
        endEngineInstance();
        return platform::objectExists("handleStartSearchX") ? 5 : 0;
    }));
    EXPECT_EQ(frontEnd.wait(5000), 0);
}

TEST(SearchProcessByHand, WithoutAnEngineInstanceItSaysSoAndEnds) {
    Pipe out;
    ChildProcess child(forkChild([&] {
        dup2(out.writeEnd(), 1);
        unsetenv(platform::INSTANCE_ENV);
        return runSearchProcess(3, TEST_IDENTITY, answerTasksAtOnce);
    }));
    EXPECT_EQ(child.wait(5000), 1);
    out.closeWrite();
    std::string text = out.receiveAll(2000);
    EXPECT_EQ(countOf(text, "\n"), 1) << text;
    EXPECT_NE(text.find("Search process 3"), std::string::npos) << text;
}

} // namespace
