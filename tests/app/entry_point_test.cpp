// The engine binary's role choice and mode prompt, run as a real process.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/identity.h"

namespace {

struct ProcessResult {
    int status = -1; // exit status, or -1 if it did not exit normally in time
    std::string out, err;
};

// Runs build/tarvok with args, feeds input, closes its input and collects
// everything it writes; a process still running after 10 s is killed.
ProcessResult runTarvok(const std::vector<std::string>& args, const std::string& input) {
    ProcessResult run;
    const std::string program = std::string(TARVOK_BINARY_DIR) + "/tarvok";
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return run;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    auto oldPipe = signal(SIGPIPE, SIG_IGN); // it may exit before reading its input
    if (!input.empty()) (void)!write(in[1], input.data(), input.size());
    close(in[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    // At most 10 s in all, also when the process never stops writing.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 1000) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? run.out : run.err).append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    if (open > 0) kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    signal(SIGPIPE, oldPipe);
    if (open == 0 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

const std::string kGreeting = std::string(engineId) + "\n\nChoose mode: Type xboard or uci\n";

bool binaryExists() {
    return access((std::string(TARVOK_BINARY_DIR) + "/tarvok").c_str(), X_OK) == 0;
}

TEST(EntryPoint, FrontEndPromptsAndChoosesByFirstThreeCharacters) {
    ASSERT_TRUE(binaryExists()) << "build the tarvok target first";
    for (const char* line : {"uci\n", "ucinewgame\n", "xboard\n", "protover 2\n", "uc\n"}) {
        ProcessResult r = runTarvok({}, line);
        EXPECT_EQ(r.status, 0) << line;
        ASSERT_EQ(r.out.rfind(kGreeting, 0), 0u) << line << "printed:\n" << r.out;
        const std::string rest = r.out.substr(kGreeting.size());
        const bool uci = std::string(line).rfind("uci", 0) == 0;
        EXPECT_NE(rest.find(uci ? "_UCI\n" : "feature done=0\n"), std::string::npos)
            << line << rest;
        EXPECT_EQ(r.err, "") << line;
    }
    // Two arguments also select the front end; end of input at the prompt ends it.
    ProcessResult two = runTarvok({"1", "2"}, "");
    EXPECT_EQ(two.status, 0);
    EXPECT_EQ(two.out, kGreeting);
}

// Kept on purpose (README): misuse ends with its own exit code, 1 for a
// search process started by hand and 2 for a usage line, where every other
// end exits with 0.
TEST(EntryPoint, OneArgumentIsSearchProcessOrUsage) {
    ASSERT_TRUE(binaryExists()) << "build the tarvok target first";
    // "12" is search process 1; started by hand, outside any engine instance,
    // it says so in one line and ends instead of waiting for a front end.
    ProcessResult search = runTarvok({"12"}, "");
    EXPECT_EQ(search.status, 1);
    EXPECT_EQ(search.out.find("Choose mode"), std::string::npos);
    EXPECT_EQ(search.out + search.err, "Search process 1 runs only when the engine starts it: "
                                       "start tarvok without arguments.\n");

    for (const char* arg : {"--help", "-h", "x", ""}) {
        ProcessResult help = runTarvok({arg}, "");
        EXPECT_EQ(help.status, 2) << arg;
        EXPECT_EQ(help.out, "") << arg;
        ASSERT_FALSE(help.err.empty()) << arg;
        EXPECT_EQ(help.err.find('\n'), help.err.size() - 1) << "one line expected: " << help.err;
    }
}

} // namespace
