#include "app/line_reader.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {
void (*idleHook)(void*) = nullptr;
void* idleArg = nullptr;
} // namespace

void setInputIdleHook(void (*hook)(void* arg), void* arg) {
    idleHook = hook;
    idleArg = arg;
}

int LineReader::next() {
    if (pos_ == len_) {
        if (ended_) return -1;
        while (idleHook) {
            pollfd p{fd_, POLLIN, 0};
            int r = poll(&p, 1, INPUT_IDLE_MS);
            if (r > 0 || (r < 0 && errno != EINTR)) break;
            if (r == 0) idleHook(idleArg);
        }
        ssize_t n;
        do {
            n = ::read(fd_, buf_, sizeof buf_);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            ended_ = true;
            return -1;
        }
        pos_ = 0;
        len_ = static_cast<int>(n);
    }
    return static_cast<unsigned char>(buf_[pos_++]);
}

bool LineReader::readLine(char* line) {
    int n = 0;
    int c = -1;
    while (n < LINE_BUFFER_SIZE - 1) {
        c = next();
        if (c < 0) break;
        line[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    line[n] = 0;
    if (n == LINE_BUFFER_SIZE - 1 && c != '\n') {
        // Cut: drop the rest of this line, its line end included.
        while ((c = next()) >= 0 && c != '\n') {
        }
    }
    return n > 0;
}

bool LineReader::waitForInput(int timeoutMs) {
    if (ended_ || std::memchr(buf_ + pos_, '\n', static_cast<std::size_t>(len_ - pos_)))
        return true;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}
