#include "board/repetition.h"

RepetitionRing repetitionRing;

void RepetitionRing::reset(U64 key, int gamePly) {
    for (int i = 0; i < RING_SIZE; ++i) keys[i] = static_cast<U64>(i);
    keys[slot(gamePly)] = key;
}

namespace {
// How far back the ring can be searched from gamePly: not past the halfmove
// clock, not before the game's first ply, and never so far that an index
// wraps around onto the current position's own slot.
int lookBack(int gamePly, int halfmoveClock) {
    int n = halfmoveClock;
    if (n > gamePly) n = gamePly;
    if (n > RING_SIZE - 1) n = RING_SIZE - 1;
    return n;
}
} // namespace

bool RepetitionRing::isThreefold(int gamePly, int halfmoveClock) const {
    if (halfmoveClock < 1) return false;
    U64 now = keys[slot(gamePly)];
    int seen = 0;
    int n = lookBack(gamePly, halfmoveClock);
    for (int d = 1; d <= n; ++d) {
        if (keys[slot(gamePly - d)] == now && ++seen == 2) return true;
    }
    return false;
}

bool RepetitionRing::isRepetition(int gamePly, int halfmoveClock) const {
    if (halfmoveClock < 1) return false;
    U64 now = keys[slot(gamePly)];
    int n = lookBack(gamePly, halfmoveClock);
    for (int d = 1; d <= n; ++d) {
        if (keys[slot(gamePly - d)] == now) return true;
    }
    return false;
}
