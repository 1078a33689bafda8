// The engine's named locks: names, the lock wrappers' diagnostics across
// processes, and the opening of locks that do not exist yet.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "process_helpers.h"
#include "smp/locks.h"

using platform::NamedEvent;
using platform::NamedMutex;
using platform::WaitResult;

namespace {

constexpr const char* SUFFIX = "Tarvok_v8.05 (32 bit)";

class LocksTest : public ::testing::Test {
  protected:
    ~LocksTest() override { closeGlobalLocks(); }
    TestInstance instance;
};

TEST_F(LocksTest, TimeOutPrintsTheDiagnosticAndGoesOnWithoutTheLock) {
    NamedMutex lock;
    ASSERT_TRUE(lock.create("lock"));
    Pipe pipe;
    ChildProcess holder(forkHolder(pipe, "lock"));
    ASSERT_EQ(pipe.receive(1, 5000), "L");

    auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStdout();
    lockMutex(lock, 200);
    auto waited = std::chrono::steady_clock::now() - start;
    unlockMutex(lock); // not held: the release fails
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n@mutex timeout:  WAIT_TIMEOUT\nfailed to release mutex! ERROR=" +
                  std::to_string(EPERM) + "\n");
    EXPECT_GE(waited, std::chrono::milliseconds(190));
}

TEST_F(LocksTest, FailedWaitsAreRetriedFiveTimes) {
    NamedMutex never;
    testing::internal::CaptureStdout();
    lockMutex(never, 10);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n@mutex timeout:  WAIT_FAILED ERRORCODE=" + std::to_string(EINVAL) +
                  "\nX1 X2 X3 X4 X5 \n");

    // Taking a lock this process already holds is a failure, not a deadlock.
    NamedMutex lock;
    ASSERT_TRUE(lock.create("lock"));
    lockMutex(lock, 10);
    testing::internal::CaptureStdout();
    lockMutex(lock, 10);
    unlockMutex(lock);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n@mutex timeout:  WAIT_FAILED ERRORCODE=" + std::to_string(EDEADLK) +
                  "\nX1 X2 X3 X4 X5 \n");
}

TEST_F(LocksTest, OtherProcessesWaitForTheLocksToBeCreated) {
    Pipe out;
    ChildProcess slave(forkChild([&] {
        dup2(out.writeEnd(), 1);
        openGlobalLocks(SUFFIX, 2);
        NamedMutex blocks[SPLIT_BLOCK_COUNT];
        openSplitBlockLocks(blocks, SUFFIX, 2);
        std::printf("opened\n");
        lockState();
        lockSplitBlock(blocks[99]);
        unlockSplitBlock(blocks[99]);
        unlockState();
        return 0;
    }));
    platform::sleepMs(250);
    EXPECT_TRUE(platform::processRuns(slave.pid()));
    testing::internal::CaptureStdout();
    ASSERT_TRUE(openGlobalLocks(SUFFIX, 0));
    // The global locks exist now; the split-block locks do not yet.
    platform::sleepMs(250);
    EXPECT_TRUE(platform::processRuns(slave.pid()));
    NamedMutex blocks[SPLIT_BLOCK_COUNT];
    ASSERT_TRUE(openSplitBlockLocks(blocks, SUFFIX, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(slave.wait(5000), 0);
    out.closeWrite();
    std::string text = out.receiveAll(2000);
    // Every miss printed the wait line and the name, then came the split-block
    // locks' silent wait.
    const std::string miss = "WAIT- no handle, ERROR= 2\nhandleMutex_IO_Tarvok_v8.05 (32 bit)\n";
    std::size_t pos = 0;
    int misses = 0;
    while (text.compare(pos, miss.size(), miss) == 0) {
        pos += miss.size();
        ++misses;
    }
    EXPECT_GE(misses, 2) << text;
    EXPECT_EQ(text.substr(pos), "opened\n") << text;
}

} // namespace
