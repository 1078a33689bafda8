// Drives build/tarvok (or another program) the way a GUI does: a fresh
// working directory, pipes for standard input and output, answers awaited
// with time-outs. The program runs in its own process group, which the
// driver kills when it is done, also when a test fails half-way.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testing_engine {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;
using Lines = std::vector<std::string>;
using Files = std::map<std::string, std::string>; // name -> text

// A temporary directory, removed with its content at destruction.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& text) const;
    std::string read(const std::string& name) const;

  private:
    std::string path_;
};

inline std::string engineBinary() {
    return TARVOK_BINARY_DIR "/tarvok";
}
// The lines, each on a line of its own and indented, for a failure message.
std::string linesText(const Lines& lines, std::size_t from = 0);

class EngineProcess {
  public:
    // Starts the program in dir; a nonzero fileSizeLimit (bytes) acts as a small /dev/shm.
    explicit EngineProcess(const std::string& dir, const Lines& args = {}, long fileSizeLimit = 0,
                           const std::string& program = engineBinary());
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;

    pid_t pid() const { return pid_; }
    void send(const std::string& line); // the text and a line end
    void closeInput();
    // The next output line (kept in transcript()); nullopt on time-out or end of output.
    std::optional<std::string> readLine(Duration timeout = 5000ms);
    // Reads lines until one satisfies pred (or starts with prefix); nullopt on time-out,
    // which fails the test, saying what was awaited and what came, if what is given.
    std::optional<std::string> waitFor(const std::function<bool(const std::string&)>& pred,
                                       Duration timeout = 5000ms, const std::string& what = "");
    std::optional<std::string> waitForPrefix(const std::string& prefix, Duration timeout = 5000ms,
                                             bool expected = false) {
        return waitFor([&](auto& l) { return l.starts_with(prefix); }, timeout,
                       expected ? "starting \"" + prefix + "\"" : "");
    }
    std::optional<std::string> expectPrefix(const std::string& prefix, Duration timeout = 5000ms) {
        return waitForPrefix(prefix, timeout, true);
    }
    bool expectLine(const std::string& text, Duration timeout = 5000ms) {
        return waitFor([&](auto& l) { return l == text; }, timeout, "\"" + text + "\"").has_value();
    }
    Lines takeLines();                   // the lines read since the last call
    Lines drain(Duration quiet = 300ms); // reads until quiet (at most 5 s), then takes
    const Lines& transcript() const { return transcript_; }
    std::string transcriptText() const { return linesText(transcript_); }
    // The exit status (128 + signal when killed); nullopt on time-out.
    std::optional<int> waitExit(Duration timeout = 10000ms);
    void killFrontEnd() { kill(pid_, SIGKILL); } // the front end only

  private:
    pid_t pid_ = -1;
    std::FILE* toEngine_ = nullptr;
    int fromEngine_ = -1, status_ = 0;
    bool exited_ = false, outputEnded_ = false;
    std::string pending_;
    Lines transcript_;
    std::size_t taken_ = 0;
};

// Runs `sh -c command` in dir with input (if any) as one line of standard
// input: the exit status (-1 if it did not end within timeout) and the output.
std::pair<int, std::string> runShell(const std::string& dir, const std::string& command,
                                     const std::string& input = "", Duration timeout = 20s);

// The engine in a scratch directory of its own whose files (the settings
// file "tarvok init.ini", books, tables) are written before it starts.
class Engine {
  public:
    explicit Engine(const Files& files = {}, long fileSizeLimit = 0);
    explicit Engine(const std::string& settings) : Engine({{"tarvok init.ini", settings}}) {}
    EngineProcess* operator->() { return p.get(); }
    void send(const Lines& commands) {
        for (const std::string& c : commands) p->send(c);
    }
    // The protocol chosen and its handshake answered; returns its lines.
    Lines xboard() {
        send({"xboard", "protover 2"});
        return sync(20000ms);
    }
    Lines uci(const Lines& options = {});
    // Waits (ping/pong, UCI: isready/readyok) until every line the commands
    // sent so far caused has come; the lines since the last take, without it.
    Lines sync(Duration timeout = 5000ms);
    // Sends the commands; the lines up to the first starting with prefix (or a failure).
    Lines until(const Lines& commands, const std::string& prefix, Duration timeout = 5000ms);
    // Sends quit, which must end the engine with status 0 within timeout, leaving nothing behind.
    void quit(Duration timeout = 5000ms);

    ScratchDir dir;
    std::unique_ptr<EngineProcess> p;

  private:
    bool uci_ = false;
    int pings_ = 0;
};

// Polls pred until it holds or timeout passes; whether it held.
bool waitUntil(const std::function<bool()>& pred, Duration timeout);
// Fields of /proc/<pid>/stat after the command name: [0] the scheduler state
// ('R' runnable, 'S' asleep, 'Z' zombie), [11] and [12] user and system ticks.
Lines statFields(pid_t pid);
// The search process `number` of the engine in dir, polled for up to timeout; -1 if none.
pid_t searchProcessIn(const std::string& dir, int number, Duration timeout = 5000ms);
// Names in /dev/shm that belong to the engine instance of the given front end.
Lines sharedObjectsOf(pid_t frontEnd);
// Fails the test unless count processes run in dir within 10 s.
void expectProcessesIn(const std::string& dir, std::size_t count);
// Fails the test if processes run in dir after timeout or frontEnd's objects are left.
void expectNothingLeft(const std::string& dir, pid_t frontEnd, Duration timeout = 10000ms);

Lines withPrefix(const Lines& lines, const std::string& prefix);
// Output with what the clock decides blanked: the times and speeds of thinking lines
// (both protocols) and benchmarks; the report's speed line dropped.
Lines withoutTimes(const Lines& lines);

} // namespace testing_engine
