// The platform layer and the engine's locks across real processes: named
// mutexes and events, the lock wrappers' diagnostics, instance namespaces and
// their cleanup, and started processes.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sched.h>
#include <string>
#include <sys/prctl.h>

#include "process_helpers.h"
#include "smp/locks.h"
#include "smp/search_process.h"

using platform::NamedEvent;
using platform::NamedMutex;
using platform::SharedMapping;
using platform::WaitResult;

namespace {

class PlatformTest : public ::testing::Test {
  protected:
    ~PlatformTest() override { closeGlobalLocks(); }
    // What lockMutex and unlockMutex print around body.
    template <class Body> static std::string diagnostics(Body body) {
        testing::internal::CaptureStdout();
        body();
        return testing::internal::GetCapturedStdout();
    }
    // A child that takes the named mutex, says "L" and holds it until killed.
    pid_t forkHolder(const char* name) {
        return forkChild([&] {
            NamedMutex m;
            if (!m.open(name) || m.lock(1000) != WaitResult::Acquired) return 1;
            pipe.send("L");
            platform::sleepMs(30000);
            return 0;
        });
    }
    TestInstance instance;
    Pipe pipe;
};

TEST_F(PlatformTest, MutexExcludesOtherProcesses) {
    struct Counter {
        int go, inside, violations;
        long total;
    };
    SharedMapping mapping;
    ASSERT_EQ(platform::openMapping(mapping, "counter", sizeof(Counter)), platform::MapStatus::Ok);
    NamedMutex lock;
    ASSERT_TRUE(lock.create("lock"));
    auto* c = static_cast<volatile Counter*>(mapping.address);
    constexpr int kRounds = 2000;
    auto body = [&] {
        NamedMutex l;
        if (!l.open("lock")) return 10;
        auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!c->go)
            if (std::chrono::steady_clock::now() > giveUp) return 13;
        for (int r = 0; r < kRounds; ++r) {
            if (l.lock(5000) != WaitResult::Acquired) return 11;
            int inside = c->inside;
            c->inside = inside + 1;
            if (inside != 0) c->violations = c->violations + 1;
            long t = c->total;
            sched_yield(); // give the others every chance to enter now
            c->total = t + 1;
            c->inside = c->inside - 1;
            if (!l.unlock()) return 12;
        }
        return 0;
    };
    ChildProcess children[3] = {forkChild(body), forkChild(body), forkChild(body)};
    platform::sleepMs(20);
    c->go = 1; // all start together, so that they meet at the mutex
    for (auto& child : children) EXPECT_EQ(child.wait(60000), 0);
    EXPECT_EQ(c->violations, 0);
    EXPECT_EQ(c->total, 3L * kRounds);
    platform::unmapView(mapping);
    platform::closeHandle(mapping);
}

TEST_F(PlatformTest, MutexOfAKilledHolderIsAbandonedThenUsableAndTimeOutsAreReported) {
    NamedMutex lock;
    ASSERT_TRUE(lock.create("lock"));
    ChildProcess holder(forkHolder("lock"));
    ASSERT_EQ(pipe.receive(5000, 1), "L");
    auto start = std::chrono::steady_clock::now();
    // A time-out goes on without the lock, so the release then fails.
    EXPECT_EQ(diagnostics([&] {
                  lockMutex(lock, 200);
                  unlockMutex(lock);
              }),
              "\n@mutex timeout:  WAIT_TIMEOUT\nfailed to release mutex! ERROR=" +
                  std::to_string(EPERM) + "\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));

    holder.killNow();
    EXPECT_EQ(diagnostics([&] { lockMutex(lock, 1000); }), "\n@mutex timeout:  WAIT_ABANDONED\n");
    // Held here now; once released it is an ordinary mutex again for others.
    auto tryLock = [](WaitResult expected) {
        return forkChild([=] {
            NamedMutex m;
            if (!m.open("lock") || m.lock(0) != expected) return 1;
            return expected == WaitResult::Acquired && !m.unlock() ? 2 : 0;
        });
    };
    EXPECT_EQ(ChildProcess(tryLock(WaitResult::TimedOut)).wait(5000), 0);
    EXPECT_TRUE(lock.unlock());
    EXPECT_EQ(ChildProcess(tryLock(WaitResult::Acquired)).wait(5000), 0);
    EXPECT_EQ(lock.lock(0), WaitResult::Acquired);

    // Taking it again in this process fails (no deadlock): five retries follow.
    EXPECT_EQ(diagnostics([&] { lockMutex(lock, 10); }),
              "\n@mutex timeout:  WAIT_FAILED ERRORCODE=" + std::to_string(EDEADLK) +
                  "\nX1 X2 X3 X4 X5 \n");
    NamedMutex never;
    EXPECT_FALSE(never.open("missing"));
    EXPECT_EQ(diagnostics([&] { lockMutex(never, 10); }),
              "\n@mutex timeout:  WAIT_FAILED ERRORCODE=" + std::to_string(EINVAL) +
                  "\nX1 X2 X3 X4 X5 \n");
}

TEST_F(PlatformTest, EventsAreAutoResetAndOneSignalReleasesOneWaiter) {
    NamedEvent event, missing;
    ASSERT_TRUE(event.create("event"));
    EXPECT_FALSE(missing.open("missing"));
    EXPECT_EQ(missing.error(), ENOENT);
    EXPECT_EQ(missing.wait(0), WaitResult::Failed);
    EXPECT_FALSE(missing.signal());
    EXPECT_EQ(event.wait(0), WaitResult::TimedOut); // created unsignalled
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.wait(100), WaitResult::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));

    // Two signals with no waiter leave it set once; the first test resets it.
    ASSERT_TRUE(event.signal() && event.signal());
    EXPECT_EQ(ChildProcess(forkChild([] {
                  NamedEvent e;
                  if (!e.open("event") || e.wait(0) != WaitResult::Acquired) return 1;
                  return e.wait(0) == WaitResult::TimedOut ? 0 : 2;
              })).wait(5000),
              0);

    auto waiter = [&] {
        NamedEvent e;
        if (!e.open("event")) return 1;
        pipe.send(e.wait(10000) == WaitResult::Acquired ? "W" : "T");
        return 0;
    };
    ChildProcess first(forkChild(waiter)), second(forkChild(waiter));
    platform::sleepMs(100); // whether or not both wait already, one signal releases one
    ASSERT_TRUE(event.signal());
    EXPECT_EQ(pipe.receive(5000, 1), "W");
    EXPECT_EQ(pipe.receive(300, 1), "");
    ASSERT_TRUE(event.signal());
    EXPECT_EQ(pipe.receive(5000, 1), "W");
    EXPECT_EQ(first.wait(5000), 0);
    EXPECT_EQ(second.wait(5000), 0);
    EXPECT_EQ(event.wait(0), WaitResult::TimedOut);

    // A signal from another process wakes a waiter here.
    ChildProcess signaller(forkChild([] {
        NamedEvent e;
        platform::sleepMs(50);
        return e.open("event") && e.signal() ? 0 : 1;
    }));
    EXPECT_EQ(event.wait(5000), WaitResult::Acquired);
    EXPECT_EQ(signaller.wait(5000), 0);
}

TEST_F(PlatformTest, NamesStayInTheirInstance) {
    char path[256], other[256];
    ASSERT_TRUE(platform::objectPath("handleStartSlaveTarvok_v8.05 (32 bit)3", path, 256));
    EXPECT_EQ(std::string(path), std::string("/tarvok.") + instance.id() +
                                     ".handleStartSlaveTarvok_v8.05-20-2832-20bit-293");
    ASSERT_TRUE(platform::objectPath("a b", path, 256) && platform::objectPath("a_b", other, 256));
    EXPECT_STRNE(path, other);
    ASSERT_TRUE(platform::objectPath("a/b", path, 256));
    EXPECT_EQ(std::string(path).find('/', 1), std::string::npos);
    // A very long name is cut with a hash, and still names a usable object.
    std::string longName(400, '(');
    ASSERT_TRUE(platform::objectPath(longName.c_str(), path, 256));
    EXPECT_LE(std::string(path).size(), 250u);
    NamedEvent e;
    EXPECT_TRUE(e.create(longName.c_str()) && platform::objectExists(longName.c_str()));

    // Another instance with the same names meets none of these objects.
    TestInstance second("other");
    std::string secondId = second.id();
    SharedMapping data;
    ASSERT_EQ(platform::openMapping(data, "sharedData", 4096), platform::MapStatus::Ok);
    EXPECT_TRUE(data.created);
    instance.activate();
    NamedEvent mine;
    ASSERT_TRUE(mine.create("event"));
    EXPECT_FALSE(platform::objectExists("sharedData"));
    EXPECT_EQ(ChildProcess(forkChild([&] {
                  NamedEvent e;
                  return platform::setInstance(secondId.c_str()) && e.create("event") && e.signal()
                             ? 0
                             : 1;
              })).wait(5000),
              0);
    EXPECT_EQ(mine.wait(200), WaitResult::TimedOut);
    platform::unmapView(data);
    platform::closeHandle(data);

    for (const char* bad : {"12", "12-x", "12-34-a.b", "0-34", ""})
        EXPECT_FALSE(platform::setInstance(bad)) << bad;
    EXPECT_FALSE(platform::setInstance(nullptr));
    EXPECT_TRUE(platform::setInstance("12-34-tag_1"));
    EXPECT_EQ(platform::instanceOwner(), 12);
}

TEST_F(PlatformTest, ObjectsOfADeadInstanceAreRemovedAtTheNextStart) {
    ChildProcess child(forkChild([&] {
        NamedMutex m;
        NamedEvent e;
        SharedMapping s;
        if (!platform::createInstance("gone") || !m.create("handleMutex_MT_X") ||
            !e.create("event") ||
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
    EXPECT_TRUE(platform::instanceAlive(instance.id()));
    EXPECT_FALSE(platform::instanceAlive(deadId.c_str()));

    ASSERT_TRUE(platform::setInstance(deadId.c_str()));
    EXPECT_TRUE(platform::objectExists("handleMutex_MT_X") && platform::objectExists("sharedData"));
    EXPECT_GE(platform::removeDeadInstances(), 3);
    EXPECT_FALSE(platform::objectExists("handleMutex_MT_X") || platform::objectExists("event") ||
                 platform::objectExists("sharedData"));
    instance.activate();
    EXPECT_EQ(platform::removeInstanceObjects(instance.id()), 1);
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
    Pipe out;
    ChildProcess slave(forkChild([&] {
        dup2(out.writeEnd(), 1);
        openGlobalLocks(TEST_IDENTITY, 2);
        NamedMutex blocks[SPLIT_BLOCK_COUNT];
        openSplitBlockLocks(blocks, TEST_IDENTITY, 2);
        std::printf("opened\n");
        lockState();
        lockSplitBlock(blocks[99]);
        unlockSplitBlock(blocks[99]);
        unlockState();
        return 0;
    }));
    platform::sleepMs(250);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(openGlobalLocks(TEST_IDENTITY, 0));
    platform::sleepMs(250); // the split-block locks do not exist yet
    EXPECT_TRUE(platform::processRuns(slave.pid));
    NamedMutex blocks[SPLIT_BLOCK_COUNT];
    ASSERT_TRUE(openSplitBlockLocks(blocks, TEST_IDENTITY, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(slave.wait(5000), 0);
    out.closeWrite();
    // Every miss printed the wait line and the name; the split-block locks wait silently.
    std::string text = out.receive(2000);
    const std::string miss = "WAIT- no handle, ERROR= 2\nhandleMutex_IO_Tarvok_v8.05 (32 bit)\n";
    std::size_t pos = 0;
    while (text.compare(pos, miss.size(), miss) == 0) pos += miss.size();
    EXPECT_GE(pos, 2 * miss.size()) << text;
    EXPECT_EQ(text.substr(pos), "opened\n") << text;
}

TEST_F(PlatformTest, StartedProcessGetsItsNumberOurOutputAndNoInput) {
    Pipe out;
    ChildProcess parent(forkChild([&] {
        pid_t pid = 0;
        if (!platform::createInstance("args")) return 1;
        int error = startingChildren("args", out.writeEnd(),
                                     [&] { return platform::startProcess("tarvok-x", 7, &pid); });
        return error ? 2 : platform::waitForExit(pid, 10000);
    }));
    out.closeWrite();
    EXPECT_EQ(out.receive(10000), "argc=2 arg0=tarvok-x arg1=7 stdin=0\n");
    EXPECT_EQ(parent.wait(10000), 0);
}

// A parent (forked) starts a process that ties itself to it; the parent
// stays or leaves before the tie. The test process adopts the orphans, so
// that it can reap the started process.
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
        if (parentStays) {
            // Tied once it says so; killing the parent ends it.
            NamedEvent ready;
            ASSERT_TRUE(waitUntil([&] { return ready.open("ready"); }, 5000));
            ASSERT_EQ(ready.wait(5000), WaitResult::Acquired);
            EXPECT_TRUE(platform::processRuns(started.pid));
            parent.killNow();
        }
        EXPECT_EQ(parent.wait(5000), parentStays ? -1 : 0);
        EXPECT_EQ(started.wait(5000), parentStays ? 0 : 3);
        EXPECT_FALSE(platform::objectExists("left"));
        platform::removeInstanceObjects(platform::instanceId());
    }
}

} // namespace
