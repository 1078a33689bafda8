// Reads the protocol's command lines from a file descriptor (standard input).
#pragma once

inline constexpr int LINE_BUFFER_SIZE = 10000;
// How often the idle hook runs while a read waits for input.
inline constexpr int INPUT_IDLE_MS = 200;

// A function every reader calls about every INPUT_IDLE_MS while it waits for
// input (the front end watches its search processes from there); nullptr
// for none.
void setInputIdleHook(void (*hook)(void* arg), void* arg);

class LineReader {
  public:
    explicit LineReader(int fd = 0) : fd_(fd) {}
    // Reads the next line into line (LINE_BUFFER_SIZE bytes): at most 9,999
    // characters with the line end kept and a terminating zero. The rest of a
    // longer line is read and thrown away, so its tail never counts as a
    // command. A last line without a line end is returned as it is. Returns
    // false at the end of input (or on a read error) when nothing was read.
    bool readLine(char* line);

    // True when a line (or the end of input) can be read without waiting
    // longer than timeoutMs.
    bool waitForInput(int timeoutMs);

  private:
    // Next input character, or -1 at the end of input.
    int next();

    int fd_;
    char buf_[4096];
    int pos_ = 0;
    int len_ = 0;
    bool ended_ = false;
};
