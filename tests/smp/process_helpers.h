// Helpers of the process tests: forked and started children that are always
// killed and reaped, pipes to talk to them, and an instance namespace that
// is removed with everything in it when the test ends, passed or failed.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/types.h>
#include <unistd.h>

#include "smp/platform.h"

// Environment variable that makes the test program act as a child when the
// platform layer starts it again (see process_helpers.cpp).
inline constexpr const char* TEST_CHILD_ENV = "TARVOK_TEST_CHILD";
// The identity the search processes of the tests run under.
inline constexpr const char* TEST_IDENTITY = "Tarvok_v8.05 (32 bit)";

class ChildProcess {
  public:
    ChildProcess() = default;
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { killNow(); }
    void adopt(pid_t pid) {
        killNow();
        pid_ = pid;
    }
    pid_t pid() const { return pid_; }
    // Exit status (128 + signal when killed), -1 on time-out.
    int wait(int timeoutMs) {
        if (pid_ <= 0) return -1;
        int status = platform::waitForExit(pid_, timeoutMs);
        if (status >= 0) pid_ = -1;
        return status;
    }
    void killNow() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            platform::waitForExit(pid_, 5000);
        }
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

// Runs body in a forked child that exits with its return value.
template <class Body> pid_t forkChild(Body body) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int code = body();
        std::fflush(nullptr);
        _exit(code);
    }
    return pid;
}

class Pipe {
  public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int readEnd() const { return fd_[0]; }
    int writeEnd() const { return fd_[1]; }
    void closeWrite();
    void send(const std::string& text);
    // Reads until `count` bytes arrived or the time is over.
    std::string receive(std::size_t count, int timeoutMs);
    // Reads one line (without its line end), or what came before the time was over.
    std::string receiveLine(int timeoutMs);
    // Reads until the writers closed their end or the time is over.
    std::string receiveAll(int timeoutMs);

  private:
    int fd_[2] = {-1, -1};
};

// An instance namespace named after this process and the running test,
// removed with all its objects at the end of the scope.
class TestInstance {
  public:
    explicit TestInstance(const char* tag = nullptr);
    ~TestInstance();
    const char* id() const { return id_; }
    void activate() const { platform::setInstance(id_); }

  private:
    char id_[platform::INSTANCE_ID_SIZE] = "";
};

struct SearchProcess;
// Process 0 of the process tests: every task handed to it is answered by
// signalling its end at once; at running = 0 it wakes the slaves.
void answerTasksAtOnce(SearchProcess& process);

// A process-wide time source the tests set by hand.
std::int32_t drivenClock();
void setDrivenClock(std::int32_t ms);

template <class Pred> bool waitUntil(Pred pred, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 5) {
        if (pred()) return true;
        platform::sleepMs(5);
    }
    return pred();
}
