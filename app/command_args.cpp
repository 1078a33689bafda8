#include "app/command_args.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "board/settings_file.h"

namespace {

int saturate(std::int64_t v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// Position behind the next blank at or after p, or the end of the text.
const char* behindBlank(const char* p) {
    while (*p && *p != ' ') ++p;
    return *p ? p + 1 : p;
}

} // namespace

bool startsWith(const char* line, const char* prefix) {
    return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

const char* argumentAt(const char* line, int offset) {
    std::size_t n = std::strlen(line);
    return line + (static_cast<std::size_t>(offset) < n ? offset : n);
}

int saturatedProduct(int value, int factor) {
    return saturate(static_cast<std::int64_t>(value) * factor);
}

int saturatedSum(int a, int b) {
    return saturate(static_cast<std::int64_t>(a) + b);
}

int clampDepth(int depth) {
    return depth > MAX_SEARCH_DEPTH ? MAX_SEARCH_DEPTH : depth;
}

GoParameters parseGo(const char* line) {
    struct Word {
        const char* text;
        int valueAt; // characters from the word's start to its number
        int skip;    // characters to move on after a match
        int GoParameters::*field;
    };
    static constexpr Word words[] = {
        {"wtime ", 6, 7, &GoParameters::wtime},
        {"btime ", 6, 7, &GoParameters::btime},
        {"winc ", 5, 6, &GoParameters::winc},
        {"binc ", 5, 6, &GoParameters::binc},
        {"movestogo ", 10, 11, &GoParameters::movestogo},
        {"depth ", 6, 7, &GoParameters::depth},
        {"nodes ", 0, 7, nullptr},
        {"movetime ", 9, 10, &GoParameters::movetime},
    };
    GoParameters g;
    const std::size_t len = std::strlen(line);
    std::size_t i = 1;
    while (i < len && line[i] != '\n' && line[i] != '\r') {
        std::size_t step = 1;
        if (line[i - 1] == ' ') {
            const char* p = line + i;
            bool matched = false;
            for (const Word& w : words) {
                if (std::strncmp(p, w.text, std::strlen(w.text)) == 0) {
                    if (w.field) g.*w.field = readNumber(p + w.valueAt);
                    if (w.field == &GoParameters::depth) {
                        g.depthGiven = true;
                    } else if (w.field) {
                        g.timeGiven = true;
                    }
                    step = w.skip;
                    matched = true;
                    break;
                }
            }
            if (!matched && std::strncmp(p, "infinite", 8) == 0) {
                g.infinite = true;
                step = 8;
            } else if (!matched && std::strncmp(p, "ponder", 6) == 0) {
                g.ponder = true;
                step = 6;
            }
        }
        i += step;
    }
    if (g.depthGiven) g.depth = clampDepth(g.depth);
    return g;
}

LevelParameters parseLevel(const char* line) {
    LevelParameters l;
    const char* p = behindBlank(line);
    l.moves = readNumber(p);
    p = behindBlank(p);
    const char* base = p;
    int ms = saturatedProduct(readNumber(base), 60000);
    if (*base) {
        for (p = base + 1; *p && p[-1] != ' '; ++p) {
            if (*p == ':') ms = saturatedSum(ms, saturatedProduct(readNumber(p + 1), 1000));
        }
    }
    l.baseMs = ms;
    l.incMs = saturatedProduct(readNumber(p), 1000);
    return l;
}
