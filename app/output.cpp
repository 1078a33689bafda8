#include "app/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

void say(const char* format, ...) {
    char text[16384];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    if (n >= static_cast<int>(sizeof text)) n = sizeof text - 1;
    std::fflush(stdout);
    const char* p = text;
    while (n > 0) {
        ssize_t w = ::write(1, p, static_cast<std::size_t>(n));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= static_cast<int>(w);
    }
}
