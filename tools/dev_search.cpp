// tarvok-dev search FEN depth D | movetime MS: one root search in this
// process, with the xboard thinking lines, then the result line
//   bestmove M score S depth D nodes N time_ms T
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/attacks.h"
#include "board/notation.h"
#include "search/standalone.h"
#include "tools/dev_commands.h"

namespace {

constexpr int MAX_DEPTH = 63; // the table keeps depths in 6 bits
constexpr int NO_TIME_LIMIT = 1 << 30;

int usage() {
    std::fputs("usage: tarvok-dev search FEN depth D | tarvok-dev search FEN movetime MS\n",
               stderr);
    return 2;
}

bool parseNumber(const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != 0 || v < lo || v > hi) return false;
    out = v;
    return true;
}

} // namespace

int devSearch(int argc, char** argv) {
    // The FEN may come as one argument or as several words before the keyword.
    if (argc < 4) return usage();
    const char* keyword = argv[argc - 2];
    bool byDepth = std::strcmp(keyword, "depth") == 0;
    if (!byDepth && std::strcmp(keyword, "movetime") != 0) return usage();
    long value = 0;
    if (!parseNumber(argv[argc - 1], 0, byDepth ? MAX_DEPTH : NO_TIME_LIMIT, value)) return usage();
    std::string fen;
    for (int i = 1; i < argc - 2; ++i) {
        if (i > 1) fen += ' ';
        fen += argv[i];
    }

    // The tablebases of the settings file, without the start-up lines.
    startTablebases(readTablebaseSettings(), true, false);
    StandaloneSearch env;
    SharedState& shared = env.shared();
    shared.protocol = PROTOCOL_XBOARD;
    shared.postThinking = 1;
    shared.maxDepth = byDepth ? static_cast<std::int32_t>(value) : DEFAULT_MAX_DEPTH;
    env.setPosition(fen.c_str());

    RootReport report;
    Move move = env.search(byDepth ? NO_TIME_LIMIT : static_cast<int>(value), &report);
    int elapsed = shared.timer1.elapsed();
    long long nodes = static_cast<long long>(static_cast<std::uint32_t>(shared.nodeCount)) +
                      static_cast<std::uint32_t>(shared.quiescenceNodeCount);

    char text[16] = "(none)";
    if (shared.rootMoveCount > 0) formatMove(move, text);
    std::printf("bestmove %s score %d depth %d nodes %lld time_ms %d\n", text, report.score,
                report.depth, nodes, elapsed);
    return 0;
}
