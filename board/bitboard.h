// Bit operations on 64-bit square sets. The highest set bit of an empty set is
// 999 (callers rely on it: a zero history counter scores as 4096 + 999).
#pragma once

#include "board/types.h"

inline constexpr int NO_BIT = 999;

inline int msb(U64 b) { return b ? 63 - __builtin_clzll(b) : NO_BIT; }
inline int popcount(U64 b) { return __builtin_popcountll(b); }
inline constexpr U64 bit(int sq) { return U64{1} << sq; }
inline void setBit(U64& b, int sq) { b |= bit(sq); }
inline void clearBit(U64& b, int sq) { b &= ~bit(sq); }
// Removes and returns the highest set square; b must not be empty.
inline int popHighest(U64& b) {
    int sq = 63 - __builtin_clzll(b);
    b ^= bit(sq);
    return sq;
}

// Debug print: eight lines of "1 "/"0 " from a8 to h1, then a blank line.
void printBitboard(U64 b);
