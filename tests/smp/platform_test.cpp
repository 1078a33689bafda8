// The platform layer across real processes: named mutexes and events,
// instance namespaces, cleanup of dead instances, and started processes.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sched.h>
#include <string>
#include <sys/prctl.h>

#include "process_helpers.h"
#include "smp/locks.h"
#include "smp/platform.h"

using platform::NamedEvent;
using platform::NamedMutex;
using platform::SharedMapping;
using platform::WaitResult;

namespace {

long long elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

class PlatformTest : public ::testing::Test {
  protected:
    TestInstance instance;
};

// A child that takes the mutex, reports "L" and holds it until killed.
pid_t forkHolder(Pipe& pipe, const char* name) {
    return forkChild([&] {
        NamedMutex m;
        if (!m.open(name) || m.lock(1000) != WaitResult::Acquired) return 1;
        pipe.send("L");
        platform::sleepMs(30000);
        return 0;
    });
}

TEST_F(PlatformTest, MutexExcludesOtherProcesses) {
    struct Counter {
        int go;
        int inside;
        int violations;
        long total;
    };
    SharedMapping mapping;
    ASSERT_EQ(platform::openMapping(mapping, "counter", sizeof(Counter)), platform::MapStatus::Ok);
    EXPECT_TRUE(mapping.created);
    NamedMutex lock;
    ASSERT_TRUE(lock.create("lock"));

    constexpr int kChildren = 3, kRounds = 2000;
    ChildProcess children[kChildren];
    for (auto& child : children) {
        child.adopt(forkChild([] {
            SharedMapping m;
            NamedMutex l;
            if (platform::openMapping(m, "counter", sizeof(Counter)) != platform::MapStatus::Ok ||
                m.created || !l.open("lock"))
                return 10;
            volatile Counter* c = static_cast<Counter*>(m.address);
            while (!c->go) {
            }
            for (int r = 0; r < kRounds; ++r) {
                if (l.lock(5000) != WaitResult::Acquired) return 11;
                int inside = c->inside;
                c->inside = inside + 1;
                if (inside != 0) c->violations = c->violations + 1;
                long t = c->total;
                // Give the others every chance to enter while this one is inside.
                sched_yield();
                c->total = t + 1;
                c->inside = c->inside - 1;
                if (!l.unlock()) return 12;
            }
            return 0;
        }));
    }
    // All start together, so that they meet at the mutex.
    auto* c = static_cast<Counter*>(mapping.address);
    platform::sleepMs(20);
    reinterpret_cast<volatile int&>(c->go) = 1;
    for (auto& child : children) EXPECT_EQ(child.wait(60000), 0);
    EXPECT_EQ(c->violations, 0);
    EXPECT_EQ(c->total, long{kChildren} * kRounds);
    platform::unmapView(mapping);
    platform::closeHandle(mapping);
}

TEST_F(PlatformTest, MutexOfAKilledHolderIsAbandonedThenUsable) {
    NamedMutex lock;
    ASSERT_TRUE(lock.create("lock"));
    Pipe pipe;
    ChildProcess holder(forkHolder(pipe, "lock"));
    ASSERT_EQ(pipe.receive(1, 5000), "L");
    EXPECT_EQ(lock.lock(0), WaitResult::TimedOut);

    holder.killNow();
    testing::internal::CaptureStdout();
    lockMutex(lock, 1000);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n@mutex timeout:  WAIT_ABANDONED\n");
    // Now held by this process: another one cannot take it...
    ChildProcess tryer(forkChild([] {
        NamedMutex m;
        return m.open("lock") && m.lock(0) == WaitResult::TimedOut ? 0 : 1;
    }));
    EXPECT_EQ(tryer.wait(5000), 0);
    // ...until it is released, and then it is an ordinary mutex again.
    EXPECT_TRUE(lock.unlock());
    ChildProcess taker(forkChild([] {
        NamedMutex m;
        if (!m.open("lock") || m.lock(0) != WaitResult::Acquired) return 1;
        return m.unlock() ? 0 : 2;
    }));
    EXPECT_EQ(taker.wait(5000), 0);
    EXPECT_EQ(lock.lock(0), WaitResult::Acquired);
    EXPECT_TRUE(lock.unlock());
}

TEST_F(PlatformTest, OneSignalReleasesOneWaiter) {
    NamedEvent event;
    ASSERT_TRUE(event.create("event"));
    Pipe pipe;
    auto waiter = [&] {
        NamedEvent e;
        if (!e.open("event")) return 1;
        pipe.send(e.wait(10000) == WaitResult::Acquired ? "W" : "T");
        return 0;
    };
    ChildProcess first(forkChild(waiter));
    ChildProcess second(forkChild(waiter));
    // Whether or not both wait already, one signal releases exactly one.
    platform::sleepMs(100);
    ASSERT_TRUE(event.signal());
    EXPECT_EQ(pipe.receive(1, 5000), "W");
    EXPECT_EQ(pipe.receive(1, 300), "");
    ASSERT_TRUE(event.signal());
    EXPECT_EQ(pipe.receive(1, 5000), "W");
    EXPECT_EQ(first.wait(5000), 0);
    EXPECT_EQ(second.wait(5000), 0);
    // Both signals were consumed: the event is unsignalled again.
    EXPECT_EQ(event.wait(0), WaitResult::TimedOut);
}

TEST_F(PlatformTest, SignalBeforeTheWaitIsKeptAndAZeroWaitTests) {
    NamedEvent event;
    ASSERT_TRUE(event.create("event"));
    EXPECT_EQ(event.wait(0), WaitResult::TimedOut); // created unsignalled
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.wait(100), WaitResult::TimedOut);
    EXPECT_GE(elapsedMs(start), 95);

    // Two signals with no waiter leave it set once; the first test resets it.
    ASSERT_TRUE(event.signal());
    ASSERT_TRUE(event.signal());
    ChildProcess tester(forkChild([] {
        NamedEvent e;
        if (!e.open("event")) return 1;
        if (e.wait(0) != WaitResult::Acquired) return 2;
        return e.wait(0) == WaitResult::TimedOut ? 0 : 3;
    }));
    EXPECT_EQ(tester.wait(5000), 0);

    // A signal from another process wakes a waiter here.
    ChildProcess signaller(forkChild([] {
        NamedEvent e;
        platform::sleepMs(50);
        return e.open("event") && e.signal() ? 0 : 1;
    }));
    EXPECT_EQ(event.wait(5000), WaitResult::Acquired);
    EXPECT_EQ(signaller.wait(5000), 0);
}

TEST_F(PlatformTest, ObjectsThatWereNeverOpenedFail) {
    NamedEvent event;
    EXPECT_FALSE(event.open("missing"));
    EXPECT_EQ(event.error(), ENOENT);
    EXPECT_EQ(event.wait(0), WaitResult::Failed);
    EXPECT_FALSE(event.signal());
    NamedMutex mutex;
    EXPECT_FALSE(mutex.open("missing"));
    EXPECT_EQ(mutex.lock(0), WaitResult::Failed);
}

TEST_F(PlatformTest, TwoInstancesWithTheSameNamesDoNotMeet) {
    TestInstance other("other");
    instance.activate();
    SharedMapping mine, theirs;
    ASSERT_EQ(platform::openMapping(mine, "sharedData", 4096), platform::MapStatus::Ok);
    static_cast<int*>(mine.address)[0] = 42;
    NamedMutex mineLock;
    ASSERT_TRUE(mineLock.create("handleMutex_IO_X"));
    NamedEvent mineEvent;
    ASSERT_TRUE(mineEvent.create("event"));

    other.activate();
    ASSERT_EQ(platform::openMapping(theirs, "sharedData", 4096), platform::MapStatus::Ok);
    EXPECT_TRUE(theirs.created);
    EXPECT_EQ(static_cast<int*>(theirs.address)[0], 0);
    NamedMutex theirLock;
    ASSERT_TRUE(theirLock.create("handleMutex_IO_X"));
    NamedEvent theirEvent;
    ASSERT_TRUE(theirEvent.create("event"));
    EXPECT_EQ(mineLock.lock(0), WaitResult::Acquired);
    EXPECT_EQ(theirLock.lock(0), WaitResult::Acquired);

    // A process of the other instance signals "event": only that one is set.
    std::string otherId = other.id();
    ChildProcess child(forkChild([&] {
        NamedEvent e;
        return platform::setInstance(otherId.c_str()) && e.open("event") && e.signal() ? 0 : 1;
    }));
    EXPECT_EQ(child.wait(5000), 0);
    EXPECT_EQ(mineEvent.wait(200), WaitResult::TimedOut);
    EXPECT_EQ(theirEvent.wait(0), WaitResult::Acquired);
    for (SharedMapping* m : {&mine, &theirs}) {
        platform::unmapView(*m);
        platform::closeHandle(*m);
    }
}

TEST_F(PlatformTest, NamesBecomeValidObjectNamesInTheInstance) {
    char path[256];
    ASSERT_TRUE(platform::objectPath("handleStartSlaveTarvok_v8.05 (32 bit)3", path, sizeof path));
    EXPECT_EQ(std::string(path), std::string("/tarvok.") + instance.id() +
                                     ".handleStartSlaveTarvok_v8.05-20-2832-20bit-293");
    // Distinct names stay distinct, however they are spelled.
    char a[256], b[256];
    ASSERT_TRUE(platform::objectPath("a b", a, sizeof a));
    ASSERT_TRUE(platform::objectPath("a_b", b, sizeof b));
    EXPECT_STRNE(a, b);
    ASSERT_TRUE(platform::objectPath("a/b", b, sizeof b));
    EXPECT_EQ(std::string(b).find('/', 1), std::string::npos);
    // A very long name is cut with a hash, and still names a usable object.
    std::string longName(400, '(');
    ASSERT_TRUE(platform::objectPath(longName.c_str(), a, sizeof a));
    EXPECT_LE(std::string(a).size(), 250u);
    NamedEvent e;
    EXPECT_TRUE(e.create(longName.c_str()));
    EXPECT_TRUE(platform::objectExists(longName.c_str()));

    EXPECT_FALSE(platform::setInstance("12"));
    EXPECT_FALSE(platform::setInstance("12-x"));
    EXPECT_FALSE(platform::setInstance("12-34-a.b"));
    EXPECT_FALSE(platform::setInstance(nullptr));
    EXPECT_TRUE(platform::setInstance("12-34-tag_1"));
    EXPECT_EQ(platform::instanceOwner(), 12);
}

TEST_F(PlatformTest, ObjectsOfADeadInstanceAreRemovedAtTheNextStart) {
    Pipe pipe;
    ChildProcess child(forkChild([&] {
        if (!platform::createInstance("gone")) return 1;
        NamedMutex m;
        NamedEvent e;
        SharedMapping s;
        if (!m.create("handleMutex_MT_X") || !e.create("event") ||
            platform::openMapping(s, "sharedData", 4096) != platform::MapStatus::Ok)
            return 2;
        pipe.send(std::string(platform::instanceId()) + "\n");
        return 0;
    }));
    std::string deadId = pipe.receiveLine(5000);
    ASSERT_EQ(child.wait(5000), 0);
    ASSERT_FALSE(deadId.empty());
    struct Guard {
        std::string id;
        ~Guard() { platform::removeInstanceObjects(id.c_str()); }
    } guard{deadId};

    instance.activate();
    NamedEvent mine;
    ASSERT_TRUE(mine.create("event"));
    EXPECT_TRUE(platform::instanceAlive(instance.id()));
    EXPECT_FALSE(platform::instanceAlive(deadId.c_str()));

    ASSERT_TRUE(platform::setInstance(deadId.c_str()));
    EXPECT_TRUE(platform::objectExists("handleMutex_MT_X"));
    EXPECT_TRUE(platform::objectExists("sharedData"));
    EXPECT_GE(platform::removeDeadInstances(), 3);
    EXPECT_FALSE(platform::objectExists("handleMutex_MT_X"));
    EXPECT_FALSE(platform::objectExists("event"));
    EXPECT_FALSE(platform::objectExists("sharedData"));

    instance.activate();
    EXPECT_TRUE(platform::objectExists("event"));
    EXPECT_EQ(platform::removeInstanceObjects(instance.id()), 1);
    EXPECT_FALSE(platform::objectExists("event"));
}

TEST_F(PlatformTest, StartedProcessGetsItsNumberOurOutputAndNoInput) {
    Pipe out;
    ChildProcess parent(forkChild([&] {
        if (!platform::createInstance("args")) return 1;
        setenv(TEST_CHILD_ENV, "args", 1);
        dup2(out.writeEnd(), 1);
        pid_t pid = 0;
        if (platform::startProcess("tarvok-x", 7, &pid) != 0) return 2;
        return platform::waitForExit(pid, 10000);
    }));
    out.closeWrite();
    EXPECT_EQ(out.receiveAll(10000), "argc=2 arg0=tarvok-x arg1=7 stdin=0\n");
    EXPECT_EQ(parent.wait(10000), 0);
}

// The test process adopts the orphans of its children, so that it can reap
// a started process whose parent it killed.
class OrphanTest : public PlatformTest {
  protected:
    void SetUp() override { ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0); }
};

TEST_F(OrphanTest, StartedProcessEndsWhenItsParentIsKilled) {
    Pipe pipe;
    ChildProcess parent(forkChild([&] {
        if (!platform::createInstance("parent")) return 1;
        setenv(TEST_CHILD_ENV, "orphan", 1);
        pid_t pid = 0;
        if (platform::startProcess("tarvok", 1, &pid) != 0) return 2;
        pipe.send(std::to_string(pid) + " " + platform::instanceId() + "\n");
        platform::sleepMs(30000);
        return 0;
    }));
    std::string line = pipe.receiveLine(5000);
    std::size_t space = line.find(' ');
    ASSERT_NE(space, std::string::npos);
    ChildProcess started(static_cast<pid_t>(std::atoi(line.c_str())));
    std::string parentId = line.substr(space + 1);
    struct Guard {
        std::string id;
        ~Guard() { platform::removeInstanceObjects(id.c_str()); }
    } guard{parentId};

    // The started process tells when it has tied itself to its parent.
    ASSERT_TRUE(platform::setInstance(parentId.c_str()));
    NamedEvent ready;
    ASSERT_TRUE(waitUntil([&] { return ready.open("ready"); }, 5000));
    ASSERT_EQ(ready.wait(5000), WaitResult::Acquired);
    EXPECT_TRUE(platform::processRuns(started.pid()));

    // It ends with its parent and takes the instance's objects along.
    parent.killNow();
    EXPECT_EQ(started.wait(5000), 0);
    EXPECT_FALSE(platform::objectExists("ready"));
}

TEST_F(OrphanTest, StartedProcessWhoseParentDiedFirstEndsAtOnce) {
    Pipe pipe;
    ChildProcess parent(forkChild([&] {
        if (!platform::createInstance("late")) return 1;
        setenv(TEST_CHILD_ENV, "orphan-late", 1);
        pid_t pid = 0;
        if (platform::startProcess("tarvok", 1, &pid) != 0) return 2;
        NamedEvent left;
        if (!left.create("left")) return 3;
        pipe.send(std::to_string(pid) + " " + platform::instanceId() + "\n");
        return 0; // gone before the started process ties itself to it
    }));
    std::string line = pipe.receiveLine(5000);
    std::size_t space = line.find(' ');
    ASSERT_NE(space, std::string::npos);
    ChildProcess started(static_cast<pid_t>(std::atoi(line.c_str())));
    std::string parentId = line.substr(space + 1);
    struct Guard {
        std::string id;
        ~Guard() { platform::removeInstanceObjects(id.c_str()); }
    } guard{parentId};
    EXPECT_EQ(parent.wait(5000), 0);
    EXPECT_EQ(started.wait(5000), 3);
    // It found its parent gone and removed what the parent had left.
    ASSERT_TRUE(platform::setInstance(parentId.c_str()));
    EXPECT_FALSE(platform::objectExists("left"));
}

} // namespace
