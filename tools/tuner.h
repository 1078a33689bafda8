// Tuning of the evaluation against "!finalResults.txt": FEN lines set the
// position for the score lines ("+35", "-120") after them, each the score the
// position should get. The error of a set of weights is the root mean square
// of the differences between the engine's search score at a fixed depth and
// those targets.
#pragma once

#include "tools/tool_search.h"

inline constexpr const char* SCORE_FILE = "!finalResults.txt";
inline constexpr int TUNE_DEFAULT_LAST_DEPTH = 99;
inline constexpr int SCAN_DEFAULT_LAST_DEPTH = 15;
inline constexpr int TUNE_MAX_LAST_DEPTH = 99;
inline constexpr int TUNE_MAX_ROUNDS = 100;
inline constexpr int TARGET_LIMIT = 1600;
inline constexpr int MEASURE_LIMIT_MS = 30000;

enum class MeasureStatus { Done, NoFile, NoScoreLine, Stopped };

struct Measurement {
    MeasureStatus status = MeasureStatus::Done;
    double error = 0.0; // sqrt(sum of squares / count), the division an integer one
    int count = 0;      // score lines searched
};

// The target of a score line ("+" or "-" and a number cut toward zero, at
// most 1600 before the sign).
int scoreLineTarget(const char* line);
// The step by which the tuner moves a value: |v / 25|, at least 1.
int tuningStep(int value);

// Every score line of the file searched to depth (both hash tables emptied
// first). Score lines before any FEN, of a refused FEN or of a position with
// fewer than two legal moves are skipped; report prints the refused FENs.
Measurement measureError(ToolSearch& tool, int depth, bool report = false);

// Coordinate search over the 80 tuned parameters, depth by depth up to
// lastDepth (99 when not above 0), appending rounds to "!output_settings.txt".
// A stop puts the value on trial back and appends a "Stopped:" line.
void tuneParameters(ToolSearch& tool, int lastDepth);
// The error and the time of each depth up to lastDepth (15 when not above 0).
void scanDepths(ToolSearch& tool, int lastDepth);
