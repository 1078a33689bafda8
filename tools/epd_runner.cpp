#include "tools/epd_runner.h"

#include <cstring>

#include "app/output.h"
#include "board/notation.h"

namespace {

constexpr int FEN_FIELDS = 4;   // placement, side, castling, en passant
constexpr int CLOCK_FIELDS = 2; // halfmove clock and move number, when given
constexpr int MAX_EXPECTED = 8;

struct SuiteCounts {
    int correct[EPD_SUITES] = {};
    int total[EPD_SUITES] = {};

    void count(int position, bool solved) {
        const int suite = position / EPD_SUITE_SIZE + 1;
        for (int s : {0, suite}) {
            // Positions from 900 on have no suite of their own.
            if (s >= EPD_SUITES) continue;
            ++total[s];
            if (solved) ++correct[s];
        }
    }
};

// Copies the next blank-separated word of *p into word (cut to its size) and
// moves *p behind it. False at the end of the text.
bool nextWord(const char*& p, char* word, std::size_t size) {
    p += std::strspn(p, " \t");
    std::size_t n = std::strcspn(p, " \t");
    if (n == 0) return false;
    std::size_t kept = n < size - 1 ? n : size - 1;
    std::memcpy(word, p, kept);
    word[kept] = 0;
    p += n;
    return true;
}

// The FEN at the start of an EPD line: its four fields, and the two clock
// fields when numbers follow them. rest points behind what was taken.
void splitFen(const char* line, char* fen, std::size_t size, const char*& rest) {
    const char* p = line;
    std::size_t len = 0;
    fen[0] = 0;
    for (int field = 0; field < FEN_FIELDS + CLOCK_FIELDS; ++field) {
        const char* before = p;
        char word[TOOL_LINE_SIZE];
        if (!nextWord(p, word, sizeof word)) break;
        if (field >= FEN_FIELDS && (word[0] < '0' || word[0] > '9')) {
            p = before;
            break;
        }
        int n = std::snprintf(fen + len, size - len, "%s%s", len ? " " : "", word);
        if (n > 0) len = std::min(size - 1, len + static_cast<std::size_t>(n));
    }
    rest = p;
}

// The legal moves the "bm" operation names (its SAN words up to ";");
// returns their number.
int expectedMoves(const Board& board, const char* operations, Move* moves) {
    const char* p = operations;
    char word[TOOL_LINE_SIZE];
    while (nextWord(p, word, sizeof word)) {
        if (std::strcmp(word, "bm") != 0) continue;
        int n = 0;
        while (nextWord(p, word, sizeof word)) {
            char* end = std::strchr(word, ';');
            if (end) *end = 0;
            Move m = word[0] ? parseSanMove(board, word) : NO_MOVE;
            if (m != NO_MOVE && n < MAX_EXPECTED) moves[n++] = m;
            if (end) break;
        }
        return n;
    }
    return 0;
}

void appendLine(ToolOutput& out, const char* line) {
    out.append("%s\n", line);
}

} // namespace

void runEpdSuite(ToolSearch& tool, int msPerPosition) {
    ToolInput suite(EPD_SUITE_FILE);
    if (!suite.isOpen()) {
        say("ERROR: No epd-file found!\n");
        return;
    }
    ToolOutput incorrect(EPD_INCORRECT_FILE);
    if (!incorrect.isOpen()) return;
    ToolOutput summary(TOOL_SETTINGS_FILE);
    if (!summary.isOpen()) return;
    if (msPerPosition <= 0) msPerPosition = EPD_DEFAULT_MS;

    SavedToolSettings saved(tool.shared());
    SuiteCounts counts;
    int position = 0;
    while (const char* line = suite.nextLine()) {
        if (tool.stopped()) break;
        if (isBlankLine(line)) continue;
        char fen[TOOL_LINE_SIZE];
        const char* operations = nullptr;
        splitFen(line, fen, sizeof fen, operations);
        if (!tool.setPosition(fen)) {
            counts.count(position++, false);
            appendLine(incorrect, line);
            continue;
        }
        Move expected[MAX_EXPECTED];
        const int n = expectedMoves(tool.board, operations, expected);
        if (n == 0) {
            say("ERROR: epd no bestmove found!\n");
            counts.count(position++, false);
            appendLine(incorrect, line);
            continue;
        }
        tool.clearTables();
        const Move found = tool.search(EPD_MAX_DEPTH, msPerPosition);
        if (tool.stopped()) break; // the open position does not count
        bool solved = false;
        for (int i = 0; i < n; ++i) solved = solved || expected[i] == found;
        counts.count(position++, solved);
        if (solved) {
            say("EQUAL\n");
        } else {
            char want[16], got[16];
            say("DIFFERENT: %s %s\n", formatMove(expected[0], want), formatMove(found, got));
            appendLine(incorrect, line);
        }
    }

    const double p = counts.total[0] == 0 ? -1.0 : 100.0 * counts.correct[0] / counts.total[0];
    summary.append("percentageCorrect=%f, ", p);
    for (int s = 0; s < EPD_SUITES; ++s) {
        if (counts.total[s] != 0)
            summary.append("SUIT_%d=%d/%d\n", s, counts.correct[s], counts.total[s]);
    }
    // Printed last: the summary is in its file when the line appears.
    say(" percentageCorrect=%f\n", p);
}
