#include "process_helpers.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <vector>

#include "smp/search_process.h"

std::string Pipe::receive(int timeoutMs, int until) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string out;
    char c;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        if (read(fd[0], &c, 1) != 1 || c == until) break;
        out += c;
    }
    return out;
}

// ---- Children started through the platform layer ----
//
// startProcess runs this program again with a number as its only argument;
// TARVOK_TEST_CHILD then names the part the child plays, and it plays it
// before the test framework starts.

namespace {

// Process 0 of the process tests: answers every task by signalling its end
// at once; at running = 0 it wakes the slaves.
void answerTasksAtOnce(SearchProcess& process) {
    while (sharedLoad(process.pShared->running) == 1 &&
           process.startSearchEvent.wait(platform::NO_TIMEOUT) == platform::WaitResult::Acquired &&
           sharedLoad(process.pShared->running) == 1)
        process.searchEndedEvent.signal();
    wakeAllSlaves(process);
}

[[noreturn]] void runTestChild(const std::string& role) {
    std::vector<std::string> args(1);
    FILE* f = std::fopen("/proc/self/cmdline", "r");
    for (int c; f && (c = std::fgetc(f)) != EOF;) c ? args.back() += char(c) : args.emplace_back();
    args.pop_back();
    if (f) std::fclose(f);
    if (!platform::joinInstanceFromEnvironment()) _exit(2);
    if (role == "orphan" || role == "orphan-late") {
        // "orphan-late" ties itself to a parent that has ended by then.
        if (role == "orphan-late") platform::sleepMs(300);
        if (!platform::tieToParent(platform::instanceOwner())) _exit(3);
        platform::NamedEvent ready;
        if (!ready.create("ready") || !ready.signal()) _exit(4);
        platform::sleepMs(30000);
        _exit(0);
    }
    if (role == "args") {
        // Reports its arguments; standard input must be at its end at once.
        char c;
        std::printf("argc=%zu arg0=%s arg1=%s stdin=%zd\n", args.size(), args[0].c_str(),
                    args.size() > 1 ? args[1].c_str() : "", read(0, &c, 1));
        std::fflush(stdout);
        _exit(0);
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0); // a search process, as the engine's entry point does
    _exit(runSearchProcess(args.size() == 2 ? args[1][0] - '0' : -1, TEST_IDENTITY,
                           answerTasksAtOnce));
}

struct TestChildHook {
    TestChildHook() {
        const char* role = std::getenv(TEST_CHILD_ENV);
        if (role && *role) runTestChild(role);
    }
} testChildHook;

} // namespace
