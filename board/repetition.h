// The ring of position keys by game ply, for repetition detection. Indices
// are always taken modulo the ring size.
#pragma once

#include "board/types.h"

inline constexpr int RING_SIZE = 150;

struct RepetitionRing {
    U64 keys[RING_SIZE];

    void reset(U64 key, int gamePly);
    void record(int gamePly, U64 key) { keys[slot(gamePly)] = key; }
    // Game adjudication: the position at gamePly stands for the third time.
    bool isThreefold(int gamePly, int halfmoveClock) const;
    // Search: the position at gamePly occurred before within the clock.
    bool isRepetition(int gamePly, int halfmoveClock) const;

    static int slot(int ply) {
        int s = ply % RING_SIZE;
        return s < 0 ? s + RING_SIZE : s;
    }
};

// The process's ring: setFromFen resets it, makeMove records every real move.
extern RepetitionRing repetitionRing;
