// Scratch shared by the evaluation terms of one full evaluation, and the
// small colour-generic bit helpers the terms are written with.
#pragma once

#include <climits>

#include "board/bitboard.h"
#include "board/board.h"

namespace eval {

// Colours inside the evaluation follow the board's bitboard order.
inline constexpr int W = 0; // white
inline constexpr int B = 1; // black

// Per-call scratch, zeroed at the start of each full evaluation. The terms
// record what they attack here; later terms read it (safe squares, king reach).
struct EvalInfo {
    U64 attacks[5][2];   // [PAWN..QUEEN][colour]: squares attacked by that kind
    U64 bishopChecks[2]; // [king's colour]: bishop squares that would check it
    U64 rookChecks[2];   // [king's colour]: rook squares that would check it

    U64 allAttacks(int c) const {
        return attacks[PAWN][c] | attacks[KNIGHT][c] | attacks[BISHOP][c] | attacks[ROOK][c] |
               attacks[QUEEN][c];
    }
};

// A term's two halves, each from its own side's view (good for that side is
// positive); the white-minded term is white - black.
struct Halves {
    int white = 0;
    int black = 0;
};

inline constexpr U64 FILES_C_TO_F = 0x3C3C3C3C3C3C3C3CULL;
inline constexpr U64 RANK_1 = 0xFFULL;
inline constexpr U64 RANK_2 = RANK_1 << 8;
inline constexpr U64 RANK_7 = RANK_1 << 48;
inline constexpr U64 RANK_8 = RANK_1 << 56;

// Relative ranks and directions for colour c (0 white, 1 black).
inline constexpr U64 relativeRank(int c, int r) {
    return RANK_1 << (8 * (c == W ? r : 7 - r));
}
inline constexpr int relativeRankOf(int c, int sq) {
    return c == W ? sq >> 3 : 7 - (sq >> 3);
}
inline constexpr U64 forward(int c, U64 b) {
    return c == W ? b << 8 : b >> 8;
}
inline constexpr U64 backward(int c, U64 b) {
    return c == W ? b >> 8 : b << 8;
}
inline constexpr int forwardStep(int c) {
    return c == W ? 8 : -8;
}
// Index of the board's [0 black, 1 white] tables for colour c.
inline constexpr int tableColour(int c) {
    return 1 - c;
}

// Squares attacked by the pawns in set p of colour c, computed with shifts so
// that pawns standing anywhere (also on the last ranks of odd boards) count.
inline constexpr U64 pawnAttacksLeft(int c, U64 p) { // toward the a-file
    return c == W ? (p & ~FILE_A) << 9 : (p & ~FILE_A) >> 7;
}
inline constexpr U64 pawnAttacksRight(int c, U64 p) { // toward the h-file
    return c == W ? (p & ~FILE_H) << 7 : (p & ~FILE_H) >> 9;
}
inline constexpr U64 pawnAttackSet(int c, U64 p) {
    return pawnAttacksLeft(c, p) | pawnAttacksRight(c, p);
}

// Squares one king step from the set s.
inline constexpr U64 kingSteps(U64 s) {
    U64 sideways = ((s & ~FILE_A) << 1) | ((s & ~FILE_H) >> 1);
    U64 row = s | sideways;
    return sideways | (row << 8) | (row >> 8);
}

// Files holding at least one square of s, as whole files.
inline constexpr U64 filesOf(U64 s) {
    s |= s >> 32;
    s |= s >> 16;
    s |= s >> 8;
    return (s & 0xFF) * FILE_H;
}

// Integer division that never traps: the divisors come from material values
// that a settings file may set to anything. A zero divisor makes the term
// neutral (0).
inline constexpr int divide(int a, int d) {
    if (d == 0) return 0;
    if (d == -1) return a == INT_MIN ? INT_MAX : -a;
    return a / d;
}
// Arithmetic right shift by a tunable amount kept within the type's width.
inline constexpr int shiftDown(int v, int s) {
    return v >> (s < 0 ? 0 : s > 31 ? 31 : s);
}

} // namespace eval
