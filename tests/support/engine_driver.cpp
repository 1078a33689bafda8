#include "engine_driver.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
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

} // namespace

ScratchDir::ScratchDir() {
    char tmpl[] = "/tmp/tarvok-engine-XXXXXX";
    const char* p = mkdtemp(tmpl);
    path_ = p ? p : "/tmp";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

void ScratchDir::write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary) << text;
}

std::string ScratchDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string engineBinary() {
    return std::string(TARVOK_BINARY_DIR) + "/tarvok";
}

EngineProcess::EngineProcess(const std::string& dir, const std::vector<std::string>& args,
                             long fileSizeLimit, const std::string& program) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    const std::string& binary = program;
    // Nothing buffered may be written twice, by the child as well.
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        dup2(in[0], 0);
        dup2(out[1], 1);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (fileSizeLimit > 0) {
            rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(binary.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    if (pid_ > 0) setpgid(pid_, pid_);
    close(in[0]);
    close(out[1]);
    toEngine_ = in[1];
    fromEngine_ = out[0];
    // A GUI that writes to an engine that died must not die of SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
}

EngineProcess::~EngineProcess() {
    if (toEngine_ >= 0) close(toEngine_);
    if (pid_ > 0) {
        kill(-pid_, SIGKILL); // the front end's group: search processes too
        if (!exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    if (fromEngine_ >= 0) close(fromEngine_);
}

void EngineProcess::send(const std::string& line) {
    if (toEngine_ < 0) return;
    std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(toEngine_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void EngineProcess::closeInput() {
    if (toEngine_ >= 0) close(toEngine_);
    toEngine_ = -1;
}

bool EngineProcess::fill(Duration timeout) {
    if (outputEnded_) return false;
    pollfd p{fromEngine_, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(timeout.count()));
    if (r <= 0) return false;
    char buf[4096];
    ssize_t n = read(fromEngine_, buf, sizeof buf);
    if (n <= 0) {
        outputEnded_ = true;
        return false;
    }
    pending_.append(buf, static_cast<std::size_t>(n));
    return true;
}

std::optional<std::string> EngineProcess::readLine(Duration timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        std::size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            transcript_.push_back(line);
            return line;
        }
        if (outputEnded_) {
            if (pending_.empty()) return std::nullopt;
            std::string line = std::move(pending_);
            pending_.clear();
            transcript_.push_back(line);
            return line;
        }
        int left = remainingMs(deadline);
        if (left == 0 && !fill(Duration(0))) return std::nullopt;
        if (left > 0) fill(Duration(left));
    }
}

std::optional<std::string>
EngineProcess::waitFor(const std::function<bool(const std::string&)>& pred, Duration timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        auto line = readLine(Duration(remainingMs(deadline)));
        if (!line) return std::nullopt;
        if (pred(*line)) return line;
    }
}

std::optional<std::string> EngineProcess::waitForPrefix(const std::string& prefix,
                                                        Duration timeout) {
    return waitFor([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, timeout);
}

namespace {

std::string lastLines(const std::vector<std::string>& lines, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < lines.size(); ++i) text += "\n  " + lines[i];
    return text.empty() ? " (none)" : text;
}

} // namespace

bool EngineProcess::expectLine(const std::string& text, Duration timeout) {
    std::size_t from = transcript_.size();
    if (waitFor([&](const std::string& l) { return l == text; }, timeout)) return true;
    ADD_FAILURE() << "no line \"" << text << "\" within " << timeout.count()
                  << " ms; lines read meanwhile:" << lastLines(transcript_, from);
    return false;
}

std::optional<std::string> EngineProcess::expectPrefix(const std::string& prefix,
                                                       Duration timeout) {
    std::size_t from = transcript_.size();
    auto line = waitForPrefix(prefix, timeout);
    if (!line)
        ADD_FAILURE() << "no line starting \"" << prefix << "\" within " << timeout.count()
                      << " ms; lines read meanwhile:" << lastLines(transcript_, from);
    return line;
}

std::vector<std::string> EngineProcess::sync(Duration timeout) {
    const std::string n = std::to_string(++pings_ + 1000);
    send("ping " + n);
    expectLine("pong " + n, timeout);
    std::vector<std::string> lines = takeLines();
    if (!lines.empty() && lines.back() == "pong " + n) lines.pop_back();
    return lines;
}

std::vector<std::string> EngineProcess::takeLines() {
    std::vector<std::string> lines(transcript_.begin() + static_cast<long>(taken_),
                                   transcript_.end());
    taken_ = transcript_.size();
    return lines;
}

std::vector<std::string> EngineProcess::drain(Duration quiet) {
    // An engine that never falls silent must not keep the test here.
    auto deadline = Clock::now() + 5000ms;
    while (Clock::now() < deadline && readLine(quiet)) {
    }
    return takeLines();
}

std::string EngineProcess::transcriptText() const {
    std::string all;
    for (const std::string& l : transcript_) all += l + "\n";
    return all;
}

std::optional<int> EngineProcess::waitExit(Duration timeout) {
    if (exited_) return 0;
    auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exited_ = true;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return 128 + WTERMSIG(status);
        }
        if (remainingMs(deadline) == 0) return std::nullopt;
        std::this_thread::sleep_for(20ms);
    }
}

void EngineProcess::killFrontEnd() {
    if (pid_ > 0) kill(pid_, SIGKILL);
}

std::vector<pid_t> processesIn(const std::string& dir) {
    std::vector<pid_t> found;
    std::error_code ec;
    std::string want = std::filesystem::canonical(dir, ec).string();
    if (ec) want = dir;
    DIR* d = opendir("/proc");
    if (!d) return found;
    while (dirent* e = readdir(d)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (*end != 0 || pid <= 0) continue;
        std::string base = std::string("/proc/") + e->d_name;
        char cwd[4096];
        ssize_t n = readlink((base + "/cwd").c_str(), cwd, sizeof cwd - 1);
        if (n <= 0) continue;
        cwd[n] = 0;
        if (want != cwd) continue;
        // A zombie has given up its resources; it only waits for its parent.
        std::ifstream stat(base + "/stat");
        std::string line;
        std::getline(stat, line);
        std::size_t close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') {
            continue;
        }
        found.push_back(static_cast<pid_t>(pid));
    }
    closedir(d);
    return found;
}

bool waitNoProcessesIn(const std::string& dir, Duration timeout) {
    auto deadline = Clock::now() + timeout;
    while (!processesIn(dir).empty()) {
        if (remainingMs(deadline) == 0) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

pid_t searchProcessIn(const std::string& dir, int number, Duration timeout) {
    auto deadline = Clock::now() + timeout;
    const std::string wanted = std::to_string(number);
    for (;;) {
        for (pid_t pid : processesIn(dir)) {
            std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
            std::string args((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            std::size_t end = args.find('\0');
            if (end != std::string::npos &&
                args.compare(end + 1, std::string::npos, wanted + '\0') == 0)
                return pid;
        }
        if (remainingMs(deadline) == 0) return -1;
    }
}

std::vector<std::string> sharedObjectsOf(pid_t frontEnd) {
    // Objects are "tarvok.<instance>.<name>", the instance named after the
    // front end's process id.
    std::vector<std::string> found;
    std::string prefix = "tarvok." + std::to_string(frontEnd);
    DIR* d = opendir("/dev/shm");
    if (!d) return found;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() &&
            !std::isdigit(static_cast<unsigned char>(name[prefix.size()]))) {
            found.push_back(name);
        }
    }
    closedir(d);
    return found;
}

void expectProcessesIn(const std::string& dir, std::size_t count) {
    auto deadline = Clock::now() + 10s;
    while (processesIn(dir).size() < count && remainingMs(deadline) > 0)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(processesIn(dir).size(), count) << "processes of the engine in " << dir;
}

void expectNothingLeft(const std::string& dir, pid_t frontEnd, Duration timeout) {
    EXPECT_TRUE(waitNoProcessesIn(dir, timeout))
        << processesIn(dir).size() << " processes left in " << dir;
    auto objects = sharedObjectsOf(frontEnd);
    EXPECT_TRUE(objects.empty()) << objects.size() << " objects left, e.g. " << objects.front();
}

} // namespace testing_engine
