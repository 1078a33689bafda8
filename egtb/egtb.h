// The tablebase prober of one process: start-up registration of the table
// files found in a list of directories, and the probe the node search calls.
#pragma once

#include <cstdint>

#include "board/board.h"

// Largest piece count (kings included) of any registered table: 0, 3, 4, 5, 6.
extern std::int32_t egtbMaxPieces;

// The locks the process start-up holds around registration and around the
// two start-up lines; any of them may be null (a process on its own).
struct EgtbLocks {
    void (*lockRegistration)();
    void (*unlockRegistration)();
    void (*lockOutput)();
    void (*unlockOutput)();
};

// Takes cacheMb megabytes for the block cache, registers the tables of the
// directory list and, unless quiet, prints the two start-up lines when any
// table was found. Without the memory it prints "Out of memory error: " and
// the system's reason and leaves the tablebases off.
void initEgtb(const char* directories, std::int64_t cacheMb, bool quiet,
              const EgtbLocks* locks = nullptr);

// Forgets an earlier registration and registers the files found in the
// directories, split at every "," and ";" (an empty piece is the current
// directory). A broken file prints its "***" line and ends the process with
// status 1. Returns the largest piece count.
int registerTables(const char* directories);

// The piece lists of both colours (0 White, 1 Black) as the index functions
// read them, squares from the highest down, and the ten counters; false with
// four pieces of one kind.
struct PieceSet;
bool collectPieceSets(const Board& board, PieceSet sets[2], int counts[10]);

// Probes the position: 1 with score set (side to move's view, 16000 - 2m
// for a win in m), or 0 when the tables know nothing of it.
int probeEgtb(const Board& board, int& score);
