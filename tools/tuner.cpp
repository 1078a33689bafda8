#include "tools/tuner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "app/output.h"
#include "board/movegen.h"
#include "board/settings_file.h"
#include "eval/params.h"
#include "search/timecontrol.h"

namespace {

int lastDepthOr(int given, int fallback) {
    if (given <= 0) return fallback;
    return given > TUNE_MAX_LAST_DEPTH ? TUNE_MAX_LAST_DEPTH : given;
}

bool isScoreLine(const char* line) {
    return line[0] == '+' || line[0] == '-';
}

// Prints why a measurement could not be made; true when it could.
bool usable(const Measurement& m) {
    if (m.status == MeasureStatus::NoFile) say("No %s file found.\n", SCORE_FILE);
    if (m.status == MeasureStatus::NoScoreLine) say("No score line in %s.\n", SCORE_FILE);
    return m.status == MeasureStatus::Done;
}

// The file is read, and each refused FEN reported, once before a run: the
// run itself measures silently.
bool checkScoreFile(ToolSearch& tool) {
    return usable(measureError(tool, 0, true));
}

class Tuning {
  public:
    Tuning(ToolSearch& tool, ToolOutput& out) : tool_(tool), out_(out) {}
    // False when the run was stopped (its "Stopped:" line appended).
    bool run(int lastDepth);

  private:
    // base = the error at depth; false when stopped.
    bool measure(int depth, double& error);
    bool tryValue(int p, int value, const char* label, double& error);
    bool pass(int depth, int number);
    void appendRound(const char* label, double score);
    void stop() { appendRound("Stopped: ", base_); }

    ToolSearch& tool_;
    ToolOutput& out_;
    double base_ = -1.0;
    int tunedDepth_ = 1;
    int failures_[eval::TUNED_PARAMETER_COUNT] = {};
};

bool Tuning::measure(int depth, double& error) {
    Measurement m = measureError(tool_, depth);
    error = m.error;
    return m.status == MeasureStatus::Done;
}

void Tuning::appendRound(const char* label, double score) {
    out_.append("%sstartScore=%f, params= ", label, score);
    out_.appendParameters();
    out_.append("\n");
}

// Sets parameter p to value and measures; the value stays when it lowers the
// error. False when stopped.
bool Tuning::tryValue(int p, int value, const char* label, double& error) {
    *eval::tunedParameters[p].value = value;
    if (!measure(tunedDepth_, error)) return false;
    say("param=%d; paramValue=%d; %s%f\n", p, value, label, error);
    return true;
}

bool Tuning::pass(int depth, int number) {
    for (int& f : failures_) f = 0;
    if (!measure(depth, base_)) return false;
    tunedDepth_ = depth;
    bool changed = true;
    for (int round = 1; changed && round <= TUNE_MAX_ROUNDS; ++round) {
        changed = false;
        for (int p = 0; p < static_cast<int>(eval::TUNED_PARAMETER_COUNT); ++p) {
            if (number == 0 && failures_[p] > 0) {
                say("\nparam=%d; SKIP; baseScore=%f\n", p, base_);
                continue;
            }
            int* value = eval::tunedParameters[p].value;
            const int v = *value;
            say("\nparam=%d; paramValue=%d; baseScore=%f\n", p, v, base_);
            const int step = tuningStep(v);
            double e;
            bool better = false;
            for (int sign : {-1, 1}) {
                if (!tryValue(p, v + sign * step, sign < 0 ? "lowScore= " : "highScore=", e)) {
                    *value = v;
                    return false;
                }
                if (e < base_) {
                    better = true;
                    break;
                }
            }
            if (better) {
                base_ = e;
                say("new paramValue=%d\n", *value);
                failures_[p] = 0;
                changed = true;
            } else {
                say("remaining value=%d\n", v);
                *value = v;
                ++failures_[p];
            }
        }
        char label[32];
        std::snprintf(label, sizeof label, "Round%d: ", round);
        appendRound(label, base_);
    }
    return true;
}

bool Tuning::run(int lastDepth) {
    if (!measure(1, base_)) {
        base_ = -1.0;
        stop();
        return false;
    }
    appendRound("Round 0: ", base_);
    for (int depth = 1; depth <= lastDepth; ++depth) {
        double e;
        if (!measure(depth, e)) {
            stop();
            return false;
        }
        out_.append("\n\n=== PLY:%d ===\nbaseScore=%f\n", depth, e);
        for (int number = 0; number < 2; ++number) {
            if (!pass(depth, number)) {
                stop();
                return false;
            }
        }
    }
    return true;
}

} // namespace

int scoreLineTarget(const char* line) {
    const std::int64_t t = std::min<std::int64_t>(std::llabs(readNumber(line + 1)), TARGET_LIMIT);
    return static_cast<int>(line[0] == '-' ? -t : t);
}

int tuningStep(int value) {
    int step = std::abs(value / 25);
    return step == 0 ? 1 : step;
}

Measurement measureError(ToolSearch& tool, int depth, bool report) {
    Measurement m;
    ToolInput in(SCORE_FILE);
    if (!in.isOpen()) {
        m.status = MeasureStatus::NoFile;
        return m;
    }
    SavedToolSettings saved(tool.shared());
    if (depth > 0) tool.clearTables();
    std::int64_t sum = 0;
    bool havePosition = false;
    while (const char* line = in.nextLine()) {
        if (tool.stopped()) {
            m.status = MeasureStatus::Stopped;
            return m;
        }
        if (isBlankLine(line)) continue;
        if (!isScoreLine(line)) {
            // A position with one legal move (or none) has no search score.
            Move legal[MOVELIST_CAPACITY];
            havePosition = tool.setPosition(line, report) && generateLegal(tool.board, legal) >= 2;
            continue;
        }
        if (!havePosition) continue;
        if (depth <= 0) {
            ++m.count;
            continue;
        }
        RootReport result;
        tool.search(depth, MEASURE_LIMIT_MS, &result);
        if (tool.stopped()) {
            m.status = MeasureStatus::Stopped;
            return m;
        }
        int score = result.score;
        if (score > TARGET_LIMIT) score = TARGET_LIMIT;
        if (score < -TARGET_LIMIT) score = -TARGET_LIMIT;
        const std::int64_t d = score - scoreLineTarget(line);
        sum += d * d;
        ++m.count;
    }
    if (m.count == 0) {
        m.status = MeasureStatus::NoScoreLine;
        return m;
    }
    m.error = std::sqrt(static_cast<double>(sum / m.count));
    return m;
}

void tuneParameters(ToolSearch& tool, int lastDepth) {
    if (!checkScoreFile(tool)) return;
    ToolOutput out(TOOL_SETTINGS_FILE);
    if (!out.isOpen()) return;
    SavedToolSettings saved(tool.shared());
    Tuning tuning(tool, out);
    tuning.run(lastDepthOr(lastDepth, TUNE_DEFAULT_LAST_DEPTH));
}

void scanDepths(ToolSearch& tool, int lastDepth) {
    if (!checkScoreFile(tool)) return;
    ToolOutput out(TOOL_SETTINGS_FILE);
    if (!out.isOpen()) return;
    SavedToolSettings saved(tool.shared());
    out.append("\n\n");
    const int last = lastDepthOr(lastDepth, SCAN_DEFAULT_LAST_DEPTH);
    for (int depth = 1; depth <= last; ++depth) {
        say("=== PLY:%d ===\n", depth);
        tool.clearTables();
        const std::int32_t start = nowMs();
        Measurement m = measureError(tool, depth);
        if (m.status != MeasureStatus::Done) break; // stopped: the open depth is dropped
        const int t = msBetween(start, nowMs());
        say("conc=%f time=%d \n", m.error, t);
        SharedState& s = tool.shared();
        s.tuningMargin = eval::weights.lazyMargin;
        out.append("PLY:%d MARGIN=%d %d %f \n", depth, s.tuningMargin, t, m.error);
    }
}
