// The platform layer and the engine's locks across real processes: named
// mutexes and events, the lock wrappers' diagnostics, instance namespaces and
// their cleanup, and started processes.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>

#include "process_helpers.h"
#include "smp/locks.h"
#include "smp/search_process.h"

using platform::NamedEvent;
using platform::NamedMutex;
using platform::WaitResult;

namespace {

class PlatformTest : public ::testing::Test {
  protected:
    ~PlatformTest() override { closeGlobalLocks(); }
    // What body prints (the lock wrappers' diagnostics).
    template <class Body> static std::string printed(Body body) {
        testing::internal::CaptureStdout();
        body();
        return testing::internal::GetCapturedStdout();
    }
    // Exit status of a child that tries the named mutex once, expecting `expected`.
    static int tryLockInChild(const char* name, WaitResult expected) {
        return ChildProcess(forkChild([=] {
                   NamedMutex m;
                   if (!m.open(name) || m.lock(0) != expected) return 1;
                   return expected == WaitResult::Acquired && !m.unlock() ? 2 : 0;
               }))
            .wait(5000);
    }
    TestInstance instance;
    Pipe pipe;
};

TEST_F(PlatformTest, MutexOfAKilledHolderIsAbandonedThenUsableAndFailuresAreReported) {
    NamedMutex lock;
    ASSERT_TRUE(lock.create("lock"));
    ChildProcess holder(forkChild([&] {
        NamedMutex m;
        if (!m.open("lock") || m.lock(1000) != WaitResult::Acquired) return 1;
        pipe.send("L");
        platform::sleepMs(30000);
        return 0;
    }));
    ASSERT_EQ(pipe.receive(5000, 1), "L");
    auto start = std::chrono::steady_clock::now();
    // A time-out goes on without the lock, so the release then fails.
    EXPECT_EQ(printed([&] { lockMutex(lock, 200), unlockMutex(lock); }),
              "\n@mutex timeout:  WAIT_TIMEOUT\nfailed to release mutex! ERROR=1\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
    EXPECT_EQ(tryLockInChild("lock", WaitResult::TimedOut), 0);

    holder.killNow();
    EXPECT_EQ(printed([&] { lockMutex(lock, 1000); }), "\n@mutex timeout:  WAIT_ABANDONED\n");
    // Held here now; once released it is an ordinary mutex again.
    EXPECT_EQ(tryLockInChild("lock", WaitResult::TimedOut), 0);
    EXPECT_TRUE(lock.unlock());
    EXPECT_EQ(tryLockInChild("lock", WaitResult::Acquired), 0);
    EXPECT_EQ(lock.lock(0), WaitResult::Acquired);
    // Taking it again in this process fails (no deadlock), and so do five retries.
    EXPECT_EQ(printed([&] { lockMutex(lock, 10); }),
              "\n@mutex timeout:  WAIT_FAILED ERRORCODE=" + std::to_string(EDEADLK) +
                  "\nX1 X2 X3 X4 X5 \n");
    NamedMutex never;
    EXPECT_FALSE(never.open("missing"));
    EXPECT_EQ(printed([&] { lockMutex(never, 10); }),
              "\n@mutex timeout:  WAIT_FAILED ERRORCODE=22\nX1 X2 X3 X4 X5 \n");
}

TEST_F(PlatformTest, EventsAreAutoResetAndOneSignalReleasesOneWaiter) {
    NamedEvent event, missing;
    ASSERT_TRUE(event.create("event"));
    EXPECT_FALSE(missing.open("missing"));
    EXPECT_EQ(missing.error(), ENOENT);
    EXPECT_EQ(missing.wait(0), WaitResult::Failed);
    EXPECT_FALSE(missing.signal());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.wait(100), WaitResult::TimedOut); // created unsignalled
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
    // Two signals with no waiter leave it set once; a zero wait takes it.
    ASSERT_TRUE(event.signal() && event.signal());
    EXPECT_EQ(ChildProcess(forkChild([] {
                  NamedEvent e;
                  if (!e.open("event") || e.wait(0) != WaitResult::Acquired) return 1;
                  return e.wait(0) == WaitResult::TimedOut ? 0 : 2;
              })).wait(5000),
              0);

    auto waiter = [&] {
        NamedEvent e;
        pipe.send(e.open("event") && e.wait(10000) == WaitResult::Acquired ? "W" : "T");
        return 0;
    };
    ChildProcess first(forkChild(waiter)), second(forkChild(waiter));
    platform::sleepMs(100); // whether or not both wait already, a signal releases one
    ASSERT_TRUE(event.signal());
    EXPECT_EQ(pipe.receive(5000, 1), "W");
    EXPECT_EQ(pipe.receive(300, 1), "");
    ASSERT_TRUE(event.signal());
    EXPECT_EQ(pipe.receive(5000, 1), "W");
    EXPECT_EQ(event.wait(0), WaitResult::TimedOut);
}

TEST_F(PlatformTest, NamesStayInTheirInstance) {
    char path[256];
    ASSERT_TRUE(platform::objectPath("handleStartSlaveTarvok_v8.05 (32 bit)3", path, 256));
    EXPECT_EQ(std::string(path), std::string("/tarvok.") + instance.id +
                                     ".handleStartSlaveTarvok_v8.05-20-2832-20bit-293");
    // A very long name is cut with a hash, and still names a usable object.
    std::string longName(400, '(');
    ASSERT_TRUE(platform::objectPath(longName.c_str(), path, 256));
    EXPECT_LE(std::string(path).size(), 250u);
    NamedEvent e, mine;
    EXPECT_TRUE(e.create(longName.c_str()) && platform::objectExists(longName.c_str()));
    ASSERT_TRUE(mine.create("event"));
    // A process of another instance signals its own "event", not this one.
    TestInstance other("other");
    std::string otherId = other.id;
    EXPECT_EQ(ChildProcess(forkChild([&] {
                  NamedEvent e;
                  return platform::setInstance(otherId.c_str()) && e.create("event") && e.signal()
                             ? 0
                             : 1;
              })).wait(5000),
              0);
    EXPECT_EQ(mine.wait(200), WaitResult::TimedOut);
    for (const char* bad : {"12", "12-x", "12-34-a.b", "0-34", ""})
        EXPECT_FALSE(platform::setInstance(bad)) << bad;
    EXPECT_FALSE(platform::setInstance(nullptr));
    EXPECT_TRUE(platform::setInstance("12-34-tag_1"));
    EXPECT_EQ(platform::instanceOwner(), 12);
}

TEST_F(PlatformTest, ObjectsOfADeadInstanceAreRemovedAtTheNextStart) {
    ChildProcess child(forkChild([&] {
        NamedMutex m;
        platform::SharedMapping s;
        if (!platform::createInstance("gone") || !m.create("handleMutex_MT_X") ||
            platform::openMapping(s, "sharedData", 4096) != platform::MapStatus::Ok)
            return 1;
        pipe.send(std::string(platform::instanceId()) + "\n");
        return 0;
    }));
    std::string deadId = pipe.receiveLine(5000);
    ASSERT_EQ(child.wait(5000), 0);
    instance.activate();
    NamedEvent mine;
    ASSERT_TRUE(mine.create("event"));
    EXPECT_TRUE(platform::instanceAlive(instance.id));
    EXPECT_FALSE(platform::instanceAlive(deadId.c_str()));
    ASSERT_TRUE(platform::setInstance(deadId.c_str()));
    EXPECT_TRUE(platform::objectExists("handleMutex_MT_X") && platform::objectExists("sharedData"));
    EXPECT_GE(platform::removeDeadInstances(), 2);
    EXPECT_FALSE(platform::objectExists("handleMutex_MT_X") ||
                 platform::objectExists("sharedData"));
    instance.activate();
    EXPECT_EQ(platform::removeInstanceObjects(instance.id), 1);
    EXPECT_FALSE(platform::objectExists("event"));

    // The engine's front end names its instance, exports it, removes it at quit.
    EXPECT_EQ(ChildProcess(forkChild([] {
                  NamedEvent e;
                  if (!beginEngineInstance() || !e.create("handleStartSearchX")) return 1;
                  const char* exported = std::getenv(platform::INSTANCE_ENV);
                  if (!exported || exported != std::string(platform::instanceId()) ||
                      std::atoi(exported) != getpid())
                      return 2;
                  endEngineInstance();
                  return platform::objectExists("handleStartSearchX") ? 3 : 0;
              })).wait(5000),
              0);
}

TEST_F(PlatformTest, OtherProcessesWaitForTheLocksToBeCreated) {
    ChildProcess slave(forkChild([&] {
        dup2(pipe.writeEnd(), 1);
        NamedMutex blocks[SPLIT_BLOCK_COUNT];
        openGlobalLocks(TEST_IDENTITY, 2);
        openSplitBlockLocks(blocks, TEST_IDENTITY, 2);
        std::printf("opened\n");
        lockState();
        lockSplitBlock(blocks[99]);
        return 0;
    }));
    platform::sleepMs(250);
    NamedMutex blocks[SPLIT_BLOCK_COUNT];
    EXPECT_EQ(printed([&] {
                  ASSERT_TRUE(openGlobalLocks(TEST_IDENTITY, 0));
                  platform::sleepMs(250); // the split-block locks do not exist yet
                  ASSERT_TRUE(openSplitBlockLocks(blocks, TEST_IDENTITY, 0));
              }),
              "");
    EXPECT_EQ(slave.wait(5000), 0);
    pipe.closeEnd(1);
    // Every miss printed the wait line and the name; the split-block locks wait silently.
    std::string text = pipe.receive(2000);
    const std::string miss = "WAIT- no handle, ERROR= 2\nhandleMutex_IO_Tarvok_v8.05 (32 bit)\n";
    std::size_t pos = 0;
    while (text.compare(pos, miss.size(), miss) == 0) pos += miss.size();
    EXPECT_GE(pos, 2 * miss.size()) << text;
    EXPECT_EQ(text.substr(pos), "opened\n") << text;
    // The child ended holding both: they are abandoned, not held for ever.
    EXPECT_EQ(printed([&] { lockState(), lockSplitBlock(blocks[99]); }),
              "\n@mutex timeout:  WAIT_ABANDONED\n\n@mutex timeout:  WAIT_ABANDONED\n");
}

TEST_F(PlatformTest, StartedProcessGetsItsNumberOurOutputAndNoInput) {
    ChildProcess parent(forkChild([&] {
        pid_t pid = 0;
        if (!platform::createInstance("args")) return 1;
        int error = startingChildren("args", pipe.writeEnd(),
                                     [&] { return platform::startProcess("tarvok-x", 7, &pid); });
        return error ? 2 : platform::waitForExit(pid, 10000);
    }));
    pipe.closeEnd(1);
    EXPECT_EQ(pipe.receive(10000), "argc=2 arg0=tarvok-x arg1=7 stdin=0\n");
    EXPECT_EQ(parent.wait(10000), 0);
}

// A parent (forked) starts a process that ties itself to it; the parent stays
// or leaves before the tie. The test process adopts the orphans to reap them.
TEST_F(PlatformTest, StartedProcessEndsWithItsParentAndRemovesTheInstance) {
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    for (bool parentStays : {true, false}) {
        SCOPED_TRACE(parentStays);
        ChildProcess parent(forkChild([&] {
            pid_t pid = 0;
            NamedEvent left;
            if (!platform::createInstance("parent") || !left.create("left") ||
                startingChildren(parentStays ? "orphan" : "orphan-late", 1,
                                 [&] { return platform::startProcess("tarvok", 1, &pid); }))
                return 1;
            pipe.send(std::to_string(pid) + " " + platform::instanceId() + "\n");
            if (parentStays) platform::sleepMs(30000);
            return 0;
        }));
        std::string line = pipe.receiveLine(5000);
        ASSERT_NE(line.find(' '), std::string::npos);
        ChildProcess started(std::atoi(line.c_str()));
        ASSERT_TRUE(platform::setInstance(line.substr(line.find(' ') + 1).c_str()));
        NamedEvent ready; // the started process says when it is tied
        if (parentStays) {
            ASSERT_TRUE(waitUntil([&] { return ready.open("ready"); }, 5000));
            ASSERT_EQ(ready.wait(5000), WaitResult::Acquired);
            EXPECT_TRUE(platform::processRuns(started.pid));
            parent.killNow();
        }
        EXPECT_EQ(started.wait(5000), parentStays ? 0 : 3);
        EXPECT_FALSE(platform::objectExists("left"));
        platform::removeInstanceObjects(platform::instanceId());
    }
}

} // namespace
