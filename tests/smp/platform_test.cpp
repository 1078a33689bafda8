// The platform layer and the engine's locks across real processes: named
// mutexes and events, the lock wrappers' diagnostics, instance namespaces and
// their cleanup, started processes, and the hash tables' sizes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <sys/prctl.h>

#include "process_helpers.h"
#include "smp/hash_tables.h"
#include "smp/locks.h"

using platform::NamedEvent;
using platform::NamedMutex;
using platform::WaitResult;

namespace {

class PlatformTest : public ::testing::Test {
  protected:
    ~PlatformTest() override { closeGlobalLocks(); }
    TestInstance instance;
    Pipe pipe;
};

TEST_F(PlatformTest, AKilledHoldersMutexIsAbandonedThenUsableAndEventsReleaseOneWaiterEach) {
    NamedMutex lock;
    ASSERT_TRUE(lock.create("lock"));
    auto tryLock = [](WaitResult expected) { // in another process; 0 when it went as expected
        return inChild([=] {
            NamedMutex m;
            return !m.open("lock") || m.lock(0) != expected ||
                   (expected == WaitResult::Acquired && !m.unlock());
        });
    };
    ChildProcess holder([&] {
        NamedMutex m;
        pipe.send(m.open("lock") && m.lock(1000) == WaitResult::Acquired ? "L\n" : "-\n");
        platform::sleepMs(30000);
        return 0;
    });
    ASSERT_EQ(pipe.receive(5000), "L");
    auto start = std::chrono::steady_clock::now();
    // A time-out goes on without the lock, so the release then fails.
    EXPECT_EQ(printed([&] { lockMutex(lock, 200), unlockMutex(lock); }),
              "\n@mutex timeout:  WAIT_TIMEOUT\nfailed to release mutex! ERROR=1\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
    holder.killNow();
    EXPECT_EQ(printed([&] { lockMutex(lock, 1000); }), "\n@mutex timeout:  WAIT_ABANDONED\n");
    // Held here now; once released it is an ordinary mutex again.
    EXPECT_EQ(tryLock(WaitResult::TimedOut), 0);
    EXPECT_TRUE(lock.unlock());
    EXPECT_EQ(tryLock(WaitResult::Acquired), 0);
    EXPECT_EQ(lock.lock(0), WaitResult::Acquired);
    // Taking it again in this process fails (no deadlock), and so do five retries.
    EXPECT_EQ(printed([&] { lockMutex(lock, 10); }),
              "\n@mutex timeout:  WAIT_FAILED ERRORCODE=35\nX1 X2 X3 X4 X5 \n");

    // Events: created unsignalled, auto-reset, and one signal releases one waiter.
    NamedEvent event, missing;
    ASSERT_TRUE(event.create("event"));
    EXPECT_FALSE(missing.open("missing") || missing.signal());
    EXPECT_EQ(missing.wait(0), WaitResult::Failed);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.wait(100), WaitResult::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
    // Two signals with no waiter leave it set once; a zero wait takes it.
    ASSERT_TRUE(event.signal() && event.signal());
    EXPECT_EQ(event.wait(0), WaitResult::Acquired);
    EXPECT_EQ(event.wait(0), WaitResult::TimedOut);
    auto waiter = [&] {
        NamedEvent e;
        pipe.send(e.open("event") && e.wait(10000) == WaitResult::Acquired ? "W\n" : "T\n");
        return 0;
    };
    ChildProcess first(waiter), second(waiter);
    platform::sleepMs(100); // whether or not both wait already, a signal releases one
    ASSERT_TRUE(event.signal());
    EXPECT_EQ(pipe.receive(5000), "W");
    EXPECT_EQ(pipe.receive(300), "");
    ASSERT_TRUE(event.signal());
    EXPECT_EQ(pipe.receive(5000), "W");
    EXPECT_EQ(event.wait(0), WaitResult::TimedOut);
}

TEST_F(PlatformTest, NamesStayInTheirInstanceAndADeadInstancesObjectsGoAtTheNextStart) {
    // A very long name is cut with a hash, and still names a usable object.
    std::string longName(400, '(');
    NamedEvent e, mine;
    EXPECT_TRUE(e.create(longName.c_str()) && platform::objectExists(longName.c_str()));
    ASSERT_TRUE(mine.create("event"));
    // A process of another instance signals its own "event", not this one,
    // then leaves a mutex and a mapping behind in an instance of its own.
    TestInstance other("other");
    ASSERT_EQ(inChild([&] {
                  NamedEvent e;
                  NamedMutex m;
                  platform::SharedMapping s;
                  if (!platform::setInstance(other.id) || !e.create("event") || !e.signal() ||
                      !platform::createInstance("gone") || !m.create("handleMutex_MT_X") ||
                      platform::openMapping(s, "sharedData", 1) != platform::MapStatus::Ok)
                      return 1;
                  pipe.send(std::string(platform::instanceId()) + "\n");
                  return 0;
              }),
              0);
    EXPECT_EQ(mine.wait(200), WaitResult::TimedOut);
    const std::string deadId = pipe.receive(5000);
    EXPECT_TRUE(platform::instanceAlive(instance.id) && platform::instanceAlive(other.id));
    EXPECT_FALSE(platform::instanceAlive(deadId.c_str()));
    // An engine another test starts meanwhile may clear the dead instance
    // first: only the state after the sweep is pinned, not who swept.
    platform::removeDeadInstances();
    ASSERT_TRUE(platform::setInstance(deadId.c_str()));
    EXPECT_FALSE(platform::objectExists("handleMutex_MT_X") ||
                 platform::objectExists("sharedData"));
    platform::setInstance(instance.id);
    EXPECT_EQ(platform::removeInstanceObjects(instance.id), 2); // the event and the long name
    for (const char* bad : {"12", "12-x", "12-34-a.b", "0-34", ""})
        EXPECT_FALSE(platform::setInstance(bad)) << bad;
    EXPECT_TRUE(platform::setInstance("12-34-tag_1"));
    EXPECT_EQ(platform::instanceOwner(), 12);
}

TEST_F(PlatformTest, OtherProcessesWaitForTheLocksToBeCreated) {
    ChildProcess slave([&] {
        dup2(pipe.fd[1], 1);
        NamedMutex blocks[SPLIT_BLOCK_COUNT];
        openGlobalLocks(TEST_IDENTITY, 2);
        openSplitBlockLocks(blocks, TEST_IDENTITY, 2);
        std::printf("opened\n");
        lockState();
        lockSplitBlock(blocks[99]);
        return 0;
    });
    platform::sleepMs(250);
    NamedMutex blocks[SPLIT_BLOCK_COUNT];
    EXPECT_EQ(printed([&] {
                  ASSERT_TRUE(openGlobalLocks(TEST_IDENTITY, 0));
                  platform::sleepMs(250); // the split-block locks do not exist yet
                  ASSERT_TRUE(openSplitBlockLocks(blocks, TEST_IDENTITY, 0));
              }),
              "");
    EXPECT_EQ(slave.wait(5000), 0);
    // Every miss printed the wait line and the name; the split-block locks wait silently.
    std::string text = pipe.receive(300, -1);
    EXPECT_TRUE(std::regex_match(
        text,
        std::regex("(WAIT- no handle, ERROR= 2\nhandleMutex_IO_Tarvok_v8.05 \\(32 bit\\)\n){2,}"
                   "opened\n")))
        << text;
}

// A forked parent starts a process and leaves. The process gets its name and
// number and no input; one that ties itself to the parent only after it left
// ends at once and removes the instance (the test process adopts it to reap it).
TEST_F(PlatformTest, StartedProcessGetsItsNumberAndEndsWhenItsParentHasLeft) {
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    for (const std::string role : {"args", "orphan-late"}) {
        SCOPED_TRACE(role);
        ChildProcess parent([&] {
            pid_t pid = 0;
            NamedEvent left;
            Pipe input; // input the started process must not see
            input.send("x");
            dup2(input.fd[0], 0);
            if (!platform::createInstance("parent") || !left.create("left") ||
                startingChildren(role.c_str(), pipe.fd[1],
                                 [&] { return platform::startProcess("tarvok-x", 7, &pid); }))
                return 1;
            pipe.send(std::to_string(pid) + " " + platform::instanceId() + "\n");
            return 0;
        });
        std::string line = pipe.receive(5000), said = pipe.receive(5000);
        if (line.rfind("argc", 0) == 0) std::swap(line, said);
        EXPECT_EQ(said, "argc=2 arg0=tarvok-x arg1=7 stdin=0");
        ChildProcess started(std::atoi(line.c_str()));
        ASSERT_TRUE(platform::setInstance(line.substr(line.find(' ') + 1).c_str()));
        EXPECT_EQ(parent.wait(5000), 0);
        EXPECT_EQ(started.wait(5000), role == "args" ? 0 : 3);
        EXPECT_EQ(platform::objectExists("left"), role == "args");
        platform::removeInstanceObjects(platform::instanceId());
    }
}

TEST_F(PlatformTest, HashTableSizesComeFromTheSettingsFile) {
    const std::string path = "/tmp/tarvok-smp-" + std::to_string(getpid()) + ".ini";
    const std::tuple<const char*, std::uint64_t, std::uint64_t> cases[] = {
        {nullptr, 2097152, 4194304}, // no file
        {"==== settings ====\npref:size-hashtable=64   (in MB)\n", 4194304, 4194304},
        {"pref:size-hashtable=8\n pref:size-hashtable=2\npref:size-hashtable=3.9\n", 196608,
         196608},                                                           // the last line wins
        {"pref:size-hashtable=100000\n", 4096ULL * 65536, 4096ULL * 65536}, // the largest offered
        {"pref:size-hashtable=0\n", 65536, 65536},
        {"pref:size-hashtable=\n", 65536, 65536},
        {"pref:Size-hashtable=64\n", 2097152, 4194304},
    };
    for (const auto& [settings, tt, eval] : cases) {
        if (settings) std::ofstream(path) << settings;
        EXPECT_EQ(std::pair(transpositionEntries(path.c_str()), evalHashEntries(path.c_str())),
                  std::pair(tt, eval))
            << (settings ? settings : "no file");
        std::remove(path.c_str());
    }
}

} // namespace
