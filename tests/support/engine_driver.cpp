#include "engine_driver.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testing_engine {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<Duration>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Running processes whose working directory is dir (as the engine's search processes').
std::vector<pid_t> processesIn(const std::string& dir) {
    std::vector<pid_t> found;
    std::error_code ec;
    const auto want = std::filesystem::canonical(dir, ec);
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename();
        const pid_t pid = static_cast<pid_t>(std::atoi(name.c_str()));
        // A zombie has given up its resources; it only waits for its parent.
        if (pid > 0 && std::filesystem::read_symlink(entry.path() / "cwd", ec) == want &&
            statFields(pid)[0] != "Z")
            found.push_back(pid);
    }
    return found;
}

} // namespace

std::string linesText(const Lines& lines, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < lines.size(); ++i) text += "\n  " + lines[i];
    return text.empty() ? " (none)" : text;
}

bool waitUntil(const std::function<bool()>& pred, Duration timeout) {
    for (auto deadline = Clock::now() + timeout; !pred(); std::this_thread::sleep_for(20ms))
        if (remainingMs(deadline) == 0) return false;
    return true;
}

Lines statFields(pid_t pid) {
    const std::string line = fileText("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream rest(line.substr(std::min(line.size(), line.rfind(')') + 2)));
    Lines fields;
    for (std::string w; rest >> w;) fields.push_back(w);
    return fields.size() > 12 ? fields : Lines(13, "0");
}

ScratchDir::ScratchDir() : path_("/tmp/tarvok-engine-XXXXXX") {
    if (!mkdtemp(path_.data())) path_ = "/tmp";
}

ScratchDir::~ScratchDir() {
    if (std::error_code ec; path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

void ScratchDir::write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary) << text;
}

std::string ScratchDir::read(const std::string& name) const {
    return fileText(file(name));
}

EngineProcess::EngineProcess(const std::string& dir, const Lines& args, long fileSizeLimit,
                             const std::string& program) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    std::fflush(nullptr); // nothing buffered may be written twice, by the child as well
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(open("/dev/null", O_WRONLY), 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        if (fileSizeLimit > 0 && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (pid_ > 0) setpgid(pid_, pid_);
    for (int fd : {in[0], out[1]}) close(fd);
    toEngine_ = fdopen(in[1], "w");
    fromEngine_ = out[0];
    std::signal(SIGPIPE, SIG_IGN); // writing to an engine that died must not end the test
}

EngineProcess::~EngineProcess() {
    closeInput();
    if (pid_ > 0) kill(-pid_, SIGKILL); // the front end's group: search processes too
    if (pid_ > 0 && !exited_ && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    if (fromEngine_ >= 0) close(fromEngine_);
}

void EngineProcess::send(const std::string& line) {
    if (toEngine_ && std::fprintf(toEngine_, "%s\n", line.c_str()) >= 0) std::fflush(toEngine_);
}

void EngineProcess::closeInput() {
    if (toEngine_) std::fclose(std::exchange(toEngine_, nullptr));
}

std::optional<std::string> EngineProcess::readLine(Duration timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        std::size_t nl = pending_.find('\n');
        if (nl != std::string::npos || (outputEnded_ && !pending_.empty())) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl == std::string::npos ? nl : nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            transcript_.push_back(line);
            return line;
        }
        if (outputEnded_) return std::nullopt;
        pollfd p{fromEngine_, POLLIN, 0};
        if (poll(&p, 1, remainingMs(deadline)) <= 0) return std::nullopt;
        char buf[4096];
        ssize_t n = read(fromEngine_, buf, sizeof buf);
        outputEnded_ = n <= 0;
        if (n > 0) pending_.append(buf, static_cast<std::size_t>(n));
    }
}

std::optional<std::string>
EngineProcess::waitFor(const std::function<bool(const std::string&)>& pred, Duration timeout,
                       const std::string& what) {
    const std::size_t from = transcript_.size();
    const auto deadline = Clock::now() + timeout;
    while (auto line = readLine(Duration(remainingMs(deadline))))
        if (pred(*line)) return line;
    if (!what.empty())
        ADD_FAILURE() << "no line " << what << " within " << timeout.count()
                      << " ms; lines read meanwhile:" << linesText(transcript_, from);
    return std::nullopt;
}

Lines EngineProcess::takeLines() {
    Lines lines(transcript_.begin() + static_cast<long>(taken_), transcript_.end());
    taken_ = transcript_.size();
    return lines;
}

Lines EngineProcess::drain(Duration quiet) {
    for (auto deadline = Clock::now() + 5000ms; Clock::now() < deadline && readLine(quiet);) {
    } // at most 5 s, for an engine that never falls silent
    return takeLines();
}

std::optional<int> EngineProcess::waitExit(Duration timeout) {
    if (!exited_ && !waitUntil([&] { return waitpid(pid_, &status_, WNOHANG) == pid_; }, timeout))
        return std::nullopt;
    exited_ = true;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}

std::pair<int, std::string> runShell(const std::string& dir, const std::string& command,
                                     const std::string& input, Duration timeout) {
    EngineProcess p(dir, {"-c", command}, 0, "/bin/sh");
    if (!input.empty()) p.send(input);
    p.closeInput();
    const auto deadline = Clock::now() + timeout;
    while (p.readLine(Duration(remainingMs(deadline)))) {
    }
    const int status = p.waitExit(Duration(remainingMs(deadline)) + 100ms).value_or(-1);
    std::string out;
    for (const std::string& l : p.transcript()) out += l + "\n";
    return {status, out};
}

Engine::Engine(const Files& files, long fileSizeLimit) {
    for (const auto& [name, text] : files) dir.write(name, text);
    p = std::make_unique<EngineProcess>(dir.path(), Lines{}, fileSizeLimit);
    p->expectLine("Choose mode: Type xboard or uci");
    p->takeLines();
}

Lines Engine::uci(const Lines& options) {
    uci_ = true;
    p->send("uci");
    send(options);
    return sync(20000ms);
}

Lines Engine::sync(Duration timeout) {
    const std::string answer = uci_ ? "readyok" : "pong " + std::to_string(++pings_);
    p->send(uci_ ? "isready" : "ping " + std::to_string(pings_));
    p->expectLine(answer, timeout);
    Lines lines = p->takeLines();
    if (!lines.empty() && lines.back() == answer) lines.pop_back();
    return lines;
}

Lines Engine::until(const Lines& commands, const std::string& prefix, Duration timeout) {
    p->takeLines();
    send(commands);
    p->expectPrefix(prefix, timeout);
    Lines lines = p->takeLines();
    return lines.empty() ? Lines{""} : lines; // back() stays safe after a failure
}

void Engine::quit(Duration timeout) {
    p->send("quit");
    EXPECT_EQ(p->waitExit(timeout), 0) << p->transcriptText();
    expectNothingLeft(dir.path(), p->pid());
}

pid_t searchProcessIn(const std::string& dir, int number, Duration timeout) {
    const std::string wanted = std::to_string(number) + '\0'; // its one argument
    for (auto deadline = Clock::now() + timeout;; std::this_thread::sleep_for(1ms)) {
        for (pid_t pid : processesIn(dir)) {
            const std::string args = fileText("/proc/" + std::to_string(pid) + "/cmdline");
            if (args.find('\0') + 1 + wanted.size() == args.size() && args.ends_with(wanted))
                return pid;
        }
        if (remainingMs(deadline) == 0) return -1;
    }
}

Lines sharedObjectsOf(pid_t frontEnd) {
    // Objects are "tarvok.<instance>.<name>", the instance named after the
    // front end's process id and start time.
    Lines found;
    const std::string prefix = "tarvok." + std::to_string(frontEnd);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec))
        if (std::string name = entry.path().filename();
            name.starts_with(prefix) && name.size() > prefix.size() &&
            !std::isdigit(static_cast<unsigned char>(name[prefix.size()])))
            found.push_back(name);
    return found;
}

void expectProcessesIn(const std::string& dir, std::size_t count) {
    waitUntil([&] { return processesIn(dir).size() >= count; }, 10s);
    EXPECT_EQ(processesIn(dir).size(), count) << "processes of the engine in " << dir;
}

void expectNothingLeft(const std::string& dir, pid_t frontEnd, Duration timeout) {
    EXPECT_TRUE(waitUntil([&] { return processesIn(dir).empty(); }, timeout))
        << processesIn(dir).size() << " processes left in " << dir;
    EXPECT_EQ(sharedObjectsOf(frontEnd), Lines{}) << "objects left in /dev/shm";
}

Lines withPrefix(const Lines& lines, const std::string& prefix) {
    Lines found;
    for (const std::string& l : lines)
        if (l.starts_with(prefix)) found.push_back(l);
    return found;
}

Lines withoutTimes(const Lines& lines) {
    static const std::regex uci("(time |nps |time=|speed=)\\d+"),
        xboard("^( *\\d+  -?\\d+  )\\d+  ");
    Lines out;
    for (const std::string& l : lines)
        if (!l.starts_with(" average speed="))
            out.push_back(std::regex_replace(std::regex_replace(l, uci, "$1_"), xboard, "$1_  "));
    return out;
}

} // namespace testing_engine
