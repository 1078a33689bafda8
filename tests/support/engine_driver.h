// Drives build/tarvok the way a GUI does (or another program, such as
// stockfish as a perft oracle): a fresh working directory, pipes for standard
// input and output, answers awaited with time-outs. The program runs in its
// own process group, which the driver kills when it is done, also when a
// test fails half-way.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
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

// Path of the engine binary of this build.
std::string engineBinary();

class EngineProcess {
  public:
    // Starts the program in dir. A nonzero fileSizeLimit (bytes) limits the
    // files and shared-memory objects it can make, as a small /dev/shm would.
    explicit EngineProcess(const std::string& dir, const std::vector<std::string>& args = {},
                           long fileSizeLimit = 0, const std::string& program = engineBinary());
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    pid_t pid() const { return pid_; }
    void send(const std::string& line); // the text and a line end
    void closeInput();
    // The next output line without its line end; nullopt on time-out or end
    // of output. Every line read is kept in transcript().
    std::optional<std::string> readLine(Duration timeout = 5000ms);
    // Reads lines until one satisfies pred; nullopt on time-out.
    std::optional<std::string> waitFor(const std::function<bool(const std::string&)>& pred,
                                       Duration timeout = 5000ms);
    std::optional<std::string> waitForPrefix(const std::string& prefix, Duration timeout = 5000ms);
    // As above, but on time-out the test fails with what was awaited and
    // the lines that came meanwhile.
    bool expectLine(const std::string& text, Duration timeout = 5000ms);
    std::optional<std::string> expectPrefix(const std::string& prefix, Duration timeout = 5000ms);
    // Lines read since the last call (or the start).
    Lines takeLines();
    // Reads whatever arrives within the given quiet time (at most 5 s in all).
    Lines drain(Duration quiet = 300ms);
    const Lines& transcript() const { return transcript_; }
    std::string transcriptText() const;
    // The exit status (128 + signal when killed), or nullopt on time-out.
    std::optional<int> waitExit(Duration timeout = 10000ms);
    void killFrontEnd(); // SIGKILL to the front end only

  private:
    std::optional<std::string> expect(const std::function<bool(const std::string&)>& pred,
                                      const std::string& what, Duration timeout);
    pid_t pid_ = -1;
    int toEngine_ = -1, fromEngine_ = -1;
    bool exited_ = false, outputEnded_ = false;
    std::string pending_;
    Lines transcript_;
    std::size_t taken_ = 0;
};

// The engine in a scratch directory of its own whose files (the settings
// file "tarvok init.ini", books, tables) are written before it starts.
class Engine {
  public:
    explicit Engine(const Files& files = {}, long fileSizeLimit = 0);
    // Shorthand: the settings file's text.
    explicit Engine(const std::string& settings);
    EngineProcess* operator->() { return p.get(); }
    EngineProcess& operator*() { return *p; }

    // The protocol chosen and its handshake answered; returns its lines.
    Lines xboard();
    Lines uci(const Lines& options = {});
    // Waits until every line the commands sent so far caused has come
    // (ping/pong, or isready/readyok in UCI) and returns the lines since the
    // last take, without the answer itself.
    Lines sync(Duration timeout = 5000ms);
    // Sends command and returns the lines up to the first that starts with
    // prefix (included); fails the test when none comes in time.
    Lines until(const std::string& command, const std::string& prefix, Duration timeout = 5000ms);
    // quit ends the engine with status 0 and leaves nothing behind.
    void quit();

    ScratchDir dir;
    std::unique_ptr<EngineProcess> p;

  private:
    bool uci_ = false;
    int pings_ = 0;
};

// Process ids of running processes whose working directory is dir (the
// front end's search processes inherit it).
std::vector<pid_t> processesIn(const std::string& dir);
// The search process `number` of the engine running in dir, polled for up
// to timeout; -1 if none.
pid_t searchProcessIn(const std::string& dir, int number, Duration timeout = 5000ms);
// Names in /dev/shm that belong to the engine instance of the given front end.
Lines sharedObjectsOf(pid_t frontEnd);
// Fails the test unless count processes run in dir within 10 s.
void expectProcessesIn(const std::string& dir, std::size_t count);
// Fails the test if processes still run in dir after timeout, or if the
// engine instance of frontEnd left objects in /dev/shm.
void expectNothingLeft(const std::string& dir, pid_t frontEnd, Duration timeout = 10000ms);

// The lines that start with prefix.
Lines withPrefix(const Lines& lines, const std::string& prefix);
// A search's output with what the clock decides blanked: the times and
// speeds of thinking lines (both protocols) and of benchmarks, and the
// report's speed line.
Lines withoutTimes(const Lines& lines);

} // namespace testing_engine
