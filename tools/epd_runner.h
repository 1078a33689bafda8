// The EPD test suite: every position of "!epd_suite.epd" is searched and the
// engine's move compared with the position's best moves ("bm"). Misses are
// appended to "!output_incorrect.epd", the summary to "!output_settings.txt".
#pragma once

#include "tools/tool_search.h"

inline constexpr const char* EPD_SUITE_FILE = "!epd_suite.epd";
inline constexpr const char* EPD_INCORRECT_FILE = "!output_incorrect.epd";
inline constexpr int EPD_DEFAULT_MS = 60000;
inline constexpr int EPD_MAX_DEPTH = 30;
// Suite 0 counts every position, suite s (1..9) the positions
// (s-1)*100 .. s*100-1.
inline constexpr int EPD_SUITES = 10;
inline constexpr int EPD_SUITE_SIZE = 100;

// Runs the suite with msPerPosition (60,000 when not above 0) for each search.
// A stop from the front end drops the open position and still writes the
// summary.
void runEpdSuite(ToolSearch& tool, int msPerPosition);
