// Every start-up table of the board layer, in one place. Built once per
// process by initBoardTables (identical in every process, the Zobrist keys
// included) and read-only afterwards, except the material values and the
// piece-square sources, which the tuner may change between runs.
#pragma once

#include "board/board.h"
#include "board/ordering.h"

struct ZobristKeys {
    U64 piece[7][2][64]; // [kind][colour index][sq]; kind 6 (EMPTY) holds the en-passant keys
    U64 side;
    U64 castle[16]; // castle[mask]; castle[0] = 0
};

struct MaterialValues {
    int pawn = 100, knight = 300, bishop = 300, rook = 500, queen = 900;
};

extern ZobristKeys zobrist;
extern MaterialValues material; // written by the settings file and the tuner
extern int initialMaterial;     // 2Q + 4R + 4B + 4N + 16P (7800 by default)
extern int pieceValue[8];       // PAWN..QUEEN, KING 0, EMPTY 0

extern U64 knightAttacks[64];
extern U64 kingAttacks[64];
extern U64 pawnAttacks[2][64];  // [0 white, 1 black][sq]
extern U64 diagonalMask[2][64]; // [0: +7 direction, 1: +9 direction][sq]
extern U64 frontSpan[2][64];    // [colour index][sq]
extern U64 adjacentFiles[64];
extern U64 pawnNeighbours[2][64];  // [colour index][sq]
extern U64 passedMask[2][64];      // [colour index][sq]
extern U64 sideFileSpan[2][2][64]; // [0 h-side, 1 a-side][colour index][sq]
extern U64 sameColourSquares[64];
extern std::int32_t outsideSquare[64][64][4]; // [pawn sq][king sq][flag]
extern std::int32_t distance[64][64];
extern int pieceSquare[2][7][64]; // [colour index][kind][sq]
// Piece-square sources, a8 first, h1 last; the tuner writes them.
extern int pieceSquareSource[6][64];

// The history and killer tables the quiet-move generator scores with.
extern OrderingTables* orderingTables;

// Builds every table, stores the ordering tables pointer and sets board to
// the start position. The material values are `given`, or read from the
// settings file without it. The Zobrist keys and the magic tables are built
// on first use of this function and never again.
void initBoardTables(OrderingTables* ordering, Board& board, const MaterialValues* given = nullptr);
// Rebuilds pieceValue, initialMaterial and pieceSquare from material and the
// piece-square sources (used after the tuner changed them).
void rebuildValueTables();

U64 rookAttacks(U64 occupancy, int sq);
U64 bishopAttacks(U64 occupancy, int sq);
inline U64 queenAttacks(U64 occupancy, int sq) {
    return rookAttacks(occupancy, sq) | bishopAttacks(occupancy, sq);
}
