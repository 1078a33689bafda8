#include "process_helpers.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <poll.h>

#include "smp/search_process.h"

std::string Pipe::receive(int timeoutMs, int until) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string out;
    for (char c;; out += c) {
        const auto left = deadline - std::chrono::steady_clock::now();
        pollfd p{fd[0], POLLIN, 0};
        if (poll(&p, 1, int(std::max<std::int64_t>(0, left / std::chrono::milliseconds(1)))) <= 0 ||
            read(fd[0], &c, 1) != 1 || c == until)
            return out;
    }
}

// ---- Children started through the platform layer ----

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

// startProcess runs this program again with a number as its only argument;
// TEST_CHILD_ENV then names the part the child plays, and it plays it before
// the test framework starts. Every part but "search" reports its arguments and
// what a read of standard input gives (its end at once); "orphan-late" then
// ties itself to the instance's owner, which has ended by then.
__attribute__((constructor)) void runTestChild(int argc, char** argv, char**) {
    const char* env = std::getenv(TEST_CHILD_ENV);
    const std::string role = env ? env : "";
    if (role.empty()) return;
    if (!platform::joinInstanceFromEnvironment()) _exit(2);
    std::setvbuf(stdout, nullptr, _IONBF, 0); // as the engine's entry point does
    if (role == "search")
        _exit(
            runSearchProcess(argc == 2 ? argv[1][0] - '0' : -1, TEST_IDENTITY, answerTasksAtOnce));
    char c;
    std::printf("argc=%d arg0=%s arg1=%s stdin=%zd\n", argc, argv[0], argc > 1 ? argv[1] : "",
                read(0, &c, 1));
    if (role == "orphan-late") platform::sleepMs(300);
    _exit(role == "args" || platform::tieToParent(platform::instanceOwner()) ? 0 : 3);
}

} // namespace
