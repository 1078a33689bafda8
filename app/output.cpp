#include "app/output.h"

#include <cstdarg>
#include <cstdio>

#include "smp/locks.h"

void say(const char* format, ...) {
    char text[16384];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    // A line of its own still takes the output lock (printLocked): without
    // it, it could land inside a board or report that another process prints
    // in several writes ("P P pong 2"), and the GUI would never see its "pong".
    printLocked(text);
}
