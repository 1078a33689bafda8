// Drives build/tarvok the way a GUI does (or another program, such as
// stockfish as a perft oracle): a fresh working directory, pipes for standard
// input and output, answers awaited with time-outs. The program runs in its
// own process group, which the driver kills when it is done, also when a
// test fails half-way.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_engine {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

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
    // Starts the engine (or program) in dir, with no arguments as a GUI does.
    // A nonzero fileSizeLimit (bytes) limits the files and shared-memory
    // objects the engine can make, as a small /dev/shm would.
    explicit EngineProcess(const std::string& dir, const std::vector<std::string>& args = {},
                           long fileSizeLimit = 0, const std::string& program = engineBinary());
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Writes text and a line end.
    void send(const std::string& line);
    // Closes the engine's standard input (end of input).
    void closeInput();
    // The next output line without its line end; nullopt on time-out or end
    // of output.
    std::optional<std::string> readLine(Duration timeout = 10000ms);
    // Reads lines until one satisfies pred; returns it, or nullopt on
    // time-out. Every line read is kept in transcript().
    std::optional<std::string> waitFor(const std::function<bool(const std::string&)>& pred,
                                       Duration timeout = 10000ms);
    // Waits for a line that starts with prefix.
    std::optional<std::string> waitForPrefix(const std::string& prefix, Duration timeout = 10000ms);
    // Waits for the line text, or for a line starting with prefix; on
    // time-out the test fails with what was awaited and the lines that came.
    bool expectLine(const std::string& text, Duration timeout = 5000ms);
    std::optional<std::string> expectPrefix(const std::string& prefix, Duration timeout = 5000ms);
    // Sends ping n and waits for its pong: every line the commands before it
    // caused has arrived. Returns the lines since the last takeLines.
    std::vector<std::string> sync(Duration timeout = 5000ms);
    // Lines read since the last call of takeLines (or the start).
    std::vector<std::string> takeLines();
    // Reads whatever arrives within the given quiet time (at most 5 s in all).
    std::vector<std::string> drain(Duration quiet = 300ms);
    // Everything read so far, one line each.
    const std::vector<std::string>& transcript() const { return transcript_; }
    std::string transcriptText() const;
    // Waits for the front end to end; its exit status, or nullopt on time-out.
    std::optional<int> waitExit(Duration timeout = 10000ms);
    // Sends SIGKILL to the front end only.
    void killFrontEnd();

  private:
    bool fill(Duration timeout);

    pid_t pid_ = -1;
    int toEngine_ = -1;
    int fromEngine_ = -1;
    bool exited_ = false;
    bool outputEnded_ = false;
    std::string pending_;
    std::vector<std::string> transcript_;
    std::size_t taken_ = 0;
    int pings_ = 0;
};

// Process ids of running processes whose working directory is dir (the
// front end's search processes inherit it).
std::vector<pid_t> processesIn(const std::string& dir);
// Polls until no process runs in dir; true when none is left in time.
bool waitNoProcessesIn(const std::string& dir, Duration timeout = 10000ms);
// The search process `number` of the engine running in dir (its arguments
// are the program and the number), polled for up to timeout; -1 if none.
pid_t searchProcessIn(const std::string& dir, int number, Duration timeout = 5000ms);
// Names in /dev/shm that belong to the engine instance of the given front end.
std::vector<std::string> sharedObjectsOf(pid_t frontEnd);

// Waits until count processes (the front end and its search processes) run
// in dir, and fails the test if they do not within 10 s.
void expectProcessesIn(const std::string& dir, std::size_t count);

// Fails the test if processes still run in dir after timeout, or if the
// engine instance of frontEnd left objects in /dev/shm.
void expectNothingLeft(const std::string& dir, pid_t frontEnd, Duration timeout = 15000ms);

} // namespace testing_engine
