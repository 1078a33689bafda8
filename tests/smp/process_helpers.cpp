#include "process_helpers.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <vector>

#include "board/settings_file.h"
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
    for (std::size_t done = 0; done < text.size();) {
        ssize_t n = write(fd_[1], text.data() + done, text.size() - done);
        if (n <= 0 && errno != EINTR) return;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
}

std::string Pipe::receive(int timeoutMs, std::size_t count, int until) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string out;
    char c;
    while (out.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        if (read(fd_[0], &c, 1) != 1 || c == until) break;
        out += c;
    }
    return out;
}

TestInstance::TestInstance(const char* tag) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string t = tag ? tag : info ? info->name() : "test";
    for (char& c : t)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    if (platform::createInstance(t.substr(0, 30).c_str())) std::strcpy(id_, platform::instanceId());
}

TestInstance::~TestInstance() {
    if (id_[0]) platform::removeInstanceObjects(id_);
}

ScratchDirectory::ScratchDirectory(const char* settings) {
    char dir[] = "/tmp/tarvok-smp-XXXXXX";
    if (!mkdtemp(dir) || !getcwd(previous_, sizeof previous_) || chdir(dir) != 0) {
        ADD_FAILURE() << "no scratch directory";
        return;
    }
    directory_ = dir;
    writeSettings(settings);
}

ScratchDirectory::~ScratchDirectory() {
    std::remove(SETTINGS_FILE_NAME);
    if (!directory_.empty() && chdir(previous_) == 0) rmdir(directory_.c_str());
}

void ScratchDirectory::writeSettings(const char* settings) {
    FILE* f = std::fopen(SETTINGS_FILE_NAME, "w");
    ASSERT_NE(f, nullptr);
    std::fputs(settings, f);
    std::fclose(f);
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

// ---- Children started through the platform layer ----
//
// startProcess runs this program again with a number as its only argument;
// TARVOK_TEST_CHILD then names the part the child plays, and it plays it
// before the test framework starts.

namespace {

std::vector<std::string> commandLine() {
    std::vector<std::string> args(1);
    FILE* f = std::fopen("/proc/self/cmdline", "r");
    for (int c; f && (c = std::fgetc(f)) != EOF;) {
        if (c == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(c);
    }
    if (f) std::fclose(f);
    args.pop_back();
    return args;
}

[[noreturn]] void runTestChild(const std::string& role) {
    std::vector<std::string> args = commandLine();
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
        ssize_t n = read(0, &c, 1);
        std::printf("argc=%zu arg0=%s arg1=%s stdin=%zd\n", args.size(), args[0].c_str(),
                    args.size() > 1 ? args[1].c_str() : "", n);
        std::fflush(stdout);
        _exit(0);
    }
    if (role == "search") {
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
