#include "process_helpers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <vector>

#include "smp/search_process.h"

Pipe::Pipe() {
    if (pipe2(fd_, O_CLOEXEC) != 0) fd_[0] = fd_[1] = -1;
}

Pipe::~Pipe() {
    for (int fd : fd_)
        if (fd >= 0) close(fd);
}

void Pipe::closeWrite() {
    if (fd_[1] >= 0) close(fd_[1]);
    fd_[1] = -1;
}

void Pipe::send(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd_[1], text.data() + done, text.size() - done);
        if (n <= 0 && errno != EINTR) return;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
}

namespace {
std::string receiveUntil(int fd, std::size_t count, int timeoutMs, bool toEnd) {
    std::string out;
    int waited = 0;
    while ((toEnd || out.size() < count) && waited < timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, 10);
        if (r <= 0) {
            waited += 10;
            continue;
        }
        char buf[4096];
        std::size_t want = toEnd ? sizeof buf : std::min(sizeof buf, count - out.size());
        ssize_t n = read(fd, buf, want);
        if (n == 0) break;
        if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}
} // namespace

std::string Pipe::receive(std::size_t count, int timeoutMs) {
    return receiveUntil(fd_[0], count, timeoutMs, false);
}

std::string Pipe::receiveLine(int timeoutMs) {
    std::string out;
    for (int waited = 0; waited < timeoutMs;) {
        std::string c = receiveUntil(fd_[0], 1, 10, false);
        if (c.empty()) {
            waited += 10;
            continue;
        }
        if (c[0] == '\n') break;
        out += c;
    }
    return out;
}

std::string Pipe::receiveAll(int timeoutMs) {
    return receiveUntil(fd_[0], 0, timeoutMs, true);
}

TestInstance::TestInstance(const char* tag) {
    std::string t = tag ? tag : "";
    if (t.empty()) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        t = info ? info->name() : "test";
    }
    for (char& c : t)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    t = t.substr(0, 30);
    if (platform::createInstance(t.c_str())) std::strcpy(id_, platform::instanceId());
}

TestInstance::~TestInstance() {
    if (id_[0]) platform::removeInstanceObjects(id_);
}

void answerTasksAtOnce(SearchProcess& process) {
    SharedState& shared = *process.pShared;
    while (sharedLoad(shared.running) == 1) {
        if (process.startSearchEvent.wait(platform::NO_TIMEOUT) == platform::WaitResult::Failed)
            break;
        if (sharedLoad(shared.running) == 0) break;
        process.searchEndedEvent.signal();
    }
    wakeAllSlaves(process);
}

namespace {
std::int32_t drivenNow = 1000;
}
std::int32_t drivenClock() {
    return drivenNow;
}
void setDrivenClock(std::int32_t ms) {
    drivenNow = ms;
}

// ---- Children started through the platform layer ----
//
// startProcess runs this program again with a number as its only argument;
// TARVOK_TEST_CHILD then names the part the child plays, and it plays it
// before the test framework starts.

namespace {

std::vector<std::string> commandLine() {
    std::vector<std::string> args;
    FILE* f = std::fopen("/proc/self/cmdline", "r");
    if (!f) return args;
    std::string cur;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == 0) {
            args.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(c);
        }
    }
    std::fclose(f);
    return args;
}

[[noreturn]] void runTestChild(const char* role) {
    std::vector<std::string> args = commandLine();
    if (!platform::joinInstanceFromEnvironment()) _exit(2);
    if (std::strcmp(role, "orphan") == 0) {
        if (!platform::tieToParent(platform::instanceOwner())) _exit(3);
        platform::NamedEvent ready;
        if (!ready.create("ready") || !ready.signal()) _exit(4);
        platform::sleepMs(30000);
        _exit(0);
    }
    if (std::strcmp(role, "orphan-late") == 0) {
        platform::sleepMs(300);
        if (!platform::tieToParent(platform::instanceOwner())) _exit(3);
        platform::sleepMs(30000);
        _exit(0);
    }
    if (std::strcmp(role, "args") == 0) {
        // Reports its arguments; standard input must be at its end at once.
        char c;
        ssize_t n = read(0, &c, 1);
        std::printf("argc=%zu arg0=%s arg1=%s stdin=%zd\n", args.size(),
                    args.empty() ? "" : args[0].c_str(), args.size() > 1 ? args[1].c_str() : "", n);
        std::fflush(stdout);
        _exit(0);
    }
    if (std::strcmp(role, "search") == 0) {
        int number = args.size() == 2 ? args[1][0] - '0' : -1;
        std::setvbuf(stdout, nullptr, _IONBF, 0); // as the engine's entry point does
        _exit(runSearchProcess(number, TEST_IDENTITY, answerTasksAtOnce));
    }
    _exit(5);
}

struct TestChildHook {
    TestChildHook() {
        const char* role = std::getenv(TEST_CHILD_ENV);
        if (role && *role) runTestChild(role);
    }
} testChildHook;

} // namespace
