// Reading the numbers of protocol commands: UCI "go" and xboard "level",
// "time", "otim", "st" and "sd". Values the engine cannot hold are clamped or
// saturated; a missing number reads as 0.
#pragma once

// Deepest iteration the engine can run: the transposition table keeps the
// depth in 6 bits.
inline constexpr int MAX_SEARCH_DEPTH = 63;

// True when line begins with prefix (commands are matched this way: exact,
// case-sensitive prefixes).
bool startsWith(const char* line, const char* prefix);
// The text offset characters into line, or its terminating zero when the
// line is shorter, so a short command never reads past its end.
const char* argumentAt(const char* line, int offset);
// value * factor, saturated to the 32-bit range.
int saturatedProduct(int value, int factor);
// a + b, saturated to the 32-bit range.
int saturatedSum(int a, int b);
// A depth limit as the engine can hold it (at most 63).
int clampDepth(int depth);

struct GoParameters {
    int wtime = 0, btime = 0, winc = 0, binc = 0;
    int movestogo = 0, movetime = 0;
    int depth = 0;
    bool depthGiven = false;
    bool timeGiven = false; // a clock, increment, moves to go or move time
    bool infinite = false;
    bool ponder = false;
};
// The parameters of a UCI "go" line; a word counts only behind a blank.
GoParameters parseGo(const char* line);

struct LevelParameters {
    int moves = 0;
    int baseMs = 0; // minutes and seconds of the base time
    int incMs = 0;  // whole seconds of the increment
};
// "level MPS BASE INC", BASE as minutes or minutes:seconds.
LevelParameters parseLevel(const char* line);
