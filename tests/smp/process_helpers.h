// Helpers of the process tests: children that are always killed and reaped,
// a pipe to hear them, and an instance namespace removed with everything in
// it when the test ends.
#pragma once

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "smp/platform.h"

// Names the part a started copy of the test program plays (process_helpers.cpp).
inline constexpr const char* TEST_CHILD_ENV = "TARVOK_TEST_CHILD";
inline constexpr const char* TEST_IDENTITY = "Tarvok_v8.05 (32 bit)";

// A child process, killed and reaped at the end of the scope.
struct ChildProcess {
    pid_t pid = -1;
    ChildProcess(pid_t p = -1) : pid(p) {}
    // Runs body in a forked child that exits with its return value.
    template <class Body> ChildProcess(Body body) : pid((std::fflush(nullptr), fork())) {
        if (pid == 0) _exit(flushed(body()));
    }
    ChildProcess(const ChildProcess&) = delete;
    ~ChildProcess() { killNow(); }
    static int flushed(int code) { return std::fflush(nullptr), code; }
    // Exit status (128 + signal when killed), -1 on time-out.
    int wait(int timeoutMs) {
        int status = pid > 0 ? platform::waitForExit(pid, timeoutMs) : -1;
        if (status >= 0) pid = -1;
        return status;
    }
    void killNow() {
        if (pid > 0 && kill(pid, SIGKILL) == 0) platform::waitForExit(pid, 5000);
        pid = -1;
    }
};

// Runs body in a forked child; its exit status, -1 when it did not end within 5 s.
template <class Body> int inChild(Body body) {
    return ChildProcess(body).wait(5000);
}

// What body prints on standard output.
template <class Body> std::string printed(Body body) {
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe2(fd, O_CLOEXEC), 0); }
    ~Pipe() { close(fd[0]), close(fd[1]); }
    void send(const std::string& text) { (void)!write(fd[1], text.data(), text.size()); }
    // Reads until the byte `until` (not kept; -1: none), or the writers closed
    // their end, or the time is over.
    std::string receive(int timeoutMs, int until = '\n');
};

// An instance namespace named after this process and the tag, removed with
// all its objects at the end of the scope.
struct TestInstance {
    char id[platform::INSTANCE_ID_SIZE] = "";
    explicit TestInstance(const char* tag = "test") {
        if (platform::createInstance(tag)) std::strcpy(id, platform::instanceId());
    }
    ~TestInstance() { platform::removeInstanceObjects(id); }
};

// Runs start() with standard output going to fd and TEST_CHILD_ENV set to
// role, so that the processes it starts play that role and write there.
template <class Start> auto startingChildren(const char* role, int fd, Start start) {
    std::fflush(stdout);
    int saved = dup(1);
    dup2(fd, 1);
    setenv(TEST_CHILD_ENV, role, 1);
    auto result = start();
    unsetenv(TEST_CHILD_ENV);
    dup2(saved, 1);
    close(saved);
    return result;
}
