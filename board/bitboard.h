// Bit operations on 64-bit square sets. The highest set bit of an empty set is
// 999 (callers rely on it: a zero history counter scores as 4096 + 999).
#pragma once

#include "board/types.h"

inline constexpr int NO_BIT = 999;

// Files and wings (square 0 is h1, so the h-file is the lowest bit of each rank).
inline constexpr U64 FILE_H = 0x0101010101010101ULL;
inline constexpr U64 FILE_G = FILE_H << 1;
inline constexpr U64 FILE_B = FILE_H << 6;
inline constexpr U64 FILE_A = FILE_H << 7;
inline constexpr U64 KING_WING = 0x0F0F0F0F0F0F0F0FULL;  // files e-h
inline constexpr U64 QUEEN_WING = 0xF0F0F0F0F0F0F0F0ULL; // files a-d

inline int msb(U64 b) {
    return b ? 63 - __builtin_clzll(b) : NO_BIT;
}
inline int popcount(U64 b) {
    return __builtin_popcountll(b);
}
inline constexpr U64 bit(int sq) {
    return U64{1} << sq;
}
inline void setBit(U64& b, int sq) {
    b |= bit(sq);
}
inline void clearBit(U64& b, int sq) {
    b &= ~bit(sq);
}
// Removes and returns the highest set square; b must not be empty.
inline int popHighest(U64& b) {
    int sq = 63 - __builtin_clzll(b);
    b ^= bit(sq);
    return sq;
}

// Debug print: eight lines of "1 "/"0 " from a8 to h1, then a blank line.
void printBitboard(U64 b);
