// Slider geometry inside the board layer: magic-multiplication lookups for
// rook and bishop attacks, and the squares between and through two squares.
// The public rookAttacks/bishopAttacks (tables.h) forward to the inline
// lookups here, which the generators and attack tests call directly.
#pragma once

#include "board/types.h"

struct MagicSquare {
    U64 mask;         // relevant occupancy: the rays without their edge squares
    U64 multiplier;   // fixed constant, see magics.cpp
    const U64* table; // this square's slice of the shared attack table
    int shift;        // 64 - popcount(mask)
};

extern MagicSquare rookMagic[64];
extern MagicSquare bishopMagic[64];

// betweenMask[a][b]: the squares strictly between a and b if they share a
// rank, file or diagonal, else 0. lineMask[a][b]: the whole line through both
// (a and b included) if they share one, else 0.
extern U64 betweenMask[64][64];
extern U64 lineMask[64][64];

inline U64 slideRook(U64 occupancy, int sq) {
    const MagicSquare& m = rookMagic[sq];
    return m.table[((occupancy & m.mask) * m.multiplier) >> m.shift];
}
inline U64 slideBishop(U64 occupancy, int sq) {
    const MagicSquare& m = bishopMagic[sq];
    return m.table[((occupancy & m.mask) * m.multiplier) >> m.shift];
}

// Fills the attack tables and the line tables; idempotent.
void initSliderTables();
