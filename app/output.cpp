#include "app/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

#include "smp/locks.h"

void say(const char* format, ...) {
    char text[16384];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    if (n >= static_cast<int>(sizeof text)) n = sizeof text - 1;
    std::fflush(stdout);
    // A line of its own still takes the output lock: without it, it could land
    // inside a board or report that another process prints in several writes
    // ("P P pong 2"), and the GUI would never see its "pong".
    const bool takeLock = !outputLockHeld && outputLock.valid();
    if (takeLock) lockOutput();
    const char* p = text;
    while (n > 0) {
        ssize_t w = ::write(1, p, static_cast<std::size_t>(n));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        p += w;
        n -= static_cast<int>(w);
    }
    if (takeLock) unlockOutput();
}
