#include "board/tables.h"

#include <cstdio>
#include <cstdlib>

#include "board/bitboard.h"
#include "board/magics.h"
#include "board/rng.h"
#include "board/settings_file.h"

ZobristKeys zobrist;
MaterialValues material;
int initialMaterial = 7800;
int pieceValue[8];

U64 knightAttacks[64];
U64 kingAttacks[64];
U64 pawnAttacks[2][64];
U64 diagonalMask[2][64];
U64 frontSpan[2][64];
U64 adjacentFiles[64];
U64 pawnNeighbours[2][64];
U64 passedMask[2][64];
U64 sideFileSpan[2][2][64];
U64 sameColourSquares[64];
std::int32_t outsideSquare[64][64][4];
std::int32_t distance[64][64];
int pieceSquare[2][7][64];

// Rows are ranks 8 down to 1, each from the a-file to the h-file.
// clang-format off
int pieceSquareSource[6][64] = {
    {  // pawn
          0,   0,   0,   0,   0,   0,   0,   0,
          5,   8,  14,  21,  21,  14,   8,   5,
          3,   7,  10,  20,  20,  10,   7,   3,
          3,   6,   9,  19,  19,   9,   6,   3,
          2,   4,   8,  14,  15,   6,   4,   2,
          1,   2,   4,   7,   7,   0,   2,   1,
          0,   0,   0,  -8,  -8,   0,   0,   0,
          0,   0,   0,   0,   0,   0,   0,   0,
    },
    {  // knight
        -20, -10, -10, -10, -10, -10, -10, -20,
        -12,  -8,   0,   4,   4,   0,  -8, -12,
        -10,   5,  10,  12,  12,  10,   5, -10,
         -9,   7,  11,  14,  14,  11,   7,  -9,
         -9,   1,   7,  10,  10,   7,   1,  -9,
        -10,   0,   5,   7,   7,   5,   0, -10,
        -12,  -8,  -5,  -4,  -4,  -5,  -8, -12,
        -20, -10, -10, -10, -10, -10, -10, -20,
    },
    {  // bishop
          0,   0,   0,   0,   0,   0,   0,   0,
          0,   4,   6,   4,   4,   6,   4,   0,
          0,   6,   8,   8,   8,   8,   6,   0,
          0,   4,  14,  10,  10,  14,   4,   0,
          0,   4,   8,  10,  10,   8,   4,   0,
          0,   6,   8,  15,  15,   8,   6,   0,
          0,   8,   6,   4,   4,   6,   8,   0,
          0,   0,   0,   0,   0,   0,   0,   0,
    },
    {  // rook
          5,   7,   8,  10,  10,   8,   7,   5,
          4,   4,   4,   5,   5,   4,   4,   4,
          0,   1,   5,   9,   9,   5,   1,   0,
          0,   1,   4,   6,   6,   4,   1,   0,
          0,   1,   3,   4,   4,   3,   1,   0,
          0,   0,   2,   3,   3,   2,   0,   0,
          0,   0,   1,   2,   2,   1,   0,   0,
          0,  -1,   1,   6,   6,   1,  -1,   0,
    },
    {  // queen
         -2,   1,   2,   3,   3,   2,   1,  -2,
         -1,   2,   3,   4,   4,   3,   2,  -1,
          4,   9,  10,  11,  11,  10,   9,   4,
          0,   3,   7,   8,   8,   7,   0,   0,
          0,   2,   4,   5,   5,   4,   2,   0,
          0,   1,   3,   4,   4,   3,   1,   0,
         -1,   0,   1,   2,   2,   1,   0,  -1,
         -5,   0,   0,   0,   0,   0,   0,  -5,
    },
    {  // king
        -40, -40, -40, -40, -40, -40, -40, -40,
        -40, -40, -40, -40, -40, -40, -40, -40,
        -40, -40, -40, -40, -40, -40, -40, -40,
        -40, -40, -40, -40, -40, -40, -40, -40,
        -35, -35, -35, -35, -35, -35, -35, -35,
        -30, -30, -30, -30, -30, -30, -30, -30,
        -20, -20, -20, -20, -20, -20, -20, -20,
          7,  19,  16,  -7,  -6,  -7,   6,  -3,
    },
};
// clang-format on

OrderingTables* orderingTables = nullptr;

namespace {

// Geometry helpers. "file" here is sq & 7: 0 on the h-file, 7 on the a-file.
int rankOfSq(int sq) {
    return sq >> 3;
}
int fileOfSq(int sq) {
    return sq & 7;
}
bool onBoard(int rank, int file) {
    return rank >= 0 && rank < 8 && file >= 0 && file < 8;
}
// The bit of (rank, file) if it is on the board, else 0.
U64 at(int rank, int file) {
    return onBoard(rank, file) ? bit(8 * rank + file) : 0;
}
int absDiff(int a, int b) {
    return a > b ? a - b : b - a;
}

// The squares of one file on the ranks strictly beyond `rank` in direction
// dir (+1 toward rank 8, -1 toward rank 1).
U64 fileAhead(int file, int rank, int dir) {
    U64 out = 0;
    for (int r = rank + dir; r >= 0 && r < 8; r += dir) out |= at(r, file);
    return out;
}

U64 key60() {
    U64 r1 = static_cast<U64>(rand15()), r2 = static_cast<U64>(rand15());
    U64 r3 = static_cast<U64>(rand15()), r4 = static_cast<U64>(rand15());
    U64 r5 = static_cast<U64>(rand15());
    return r1 ^ (r2 << 15) ^ (r3 << 30) ^ (r4 << 45) ^ (r5 << 60);
}

// The keys come from the process's unseeded 15-bit generator in a fixed
// order, so every process of the engine holds the same keys.
void buildZobrist() {
    for (int kind = 0; kind < 7; ++kind)
        for (int colour = 0; colour < 2; ++colour)
            for (int sq = 0; sq < 64; ++sq) zobrist.piece[kind][colour][sq] = key60();
    zobrist.side = key60();
    U64 base[4];
    for (U64& k : base) k = key60();
    // The en-passant key of square 0 stands for "no en-passant square".
    zobrist.piece[EMPTY][0][0] = 0;
    for (int mask = 0; mask < 16; ++mask) {
        U64 k = 0;
        for (int b = 0; b < 4; ++b)
            if (mask >> b & 1) k ^= base[b];
        zobrist.castle[mask] = k;
    }
}

void buildStepTables() {
    static const int knightSteps[8][2] = {{2, 1}, {2, -1}, {-2, 1}, {-2, -1},
                                          {1, 2}, {1, -2}, {-1, 2}, {-1, -2}};
    for (int sq = 0; sq < 64; ++sq) {
        int r = rankOfSq(sq), f = fileOfSq(sq);
        U64 king = 0, knight = 0;
        for (int dr = -1; dr <= 1; ++dr)
            for (int df = -1; df <= 1; ++df)
                if (dr || df) king |= at(r + dr, f + df);
        for (const auto& s : knightSteps) knight |= at(r + s[0], f + s[1]);
        kingAttacks[sq] = king;
        knightAttacks[sq] = knight;
        // Toward the a-file is file + 1 (+9 for white), toward the h-file file - 1.
        pawnAttacks[0][sq] = sq < 48 ? at(r + 1, f - 1) | at(r + 1, f + 1) : 0;
        pawnAttacks[1][sq] = sq >= 16 ? at(r - 1, f - 1) | at(r - 1, f + 1) : 0;
        U64 diag7 = 0, diag9 = 0;
        for (int k = -7; k <= 7; ++k) {
            diag7 |= at(r + k, f - k);
            diag9 |= at(r + k, f + k);
        }
        diagonalMask[0][sq] = diag7;
        diagonalMask[1][sq] = diag9;
    }
}

// A material value as the engine uses it: the pawn at least 1 (it divides),
// the others at least 0, none above 100000.
int clampValue(int v, int lo) {
    return v < lo ? lo : v > 100000 ? 100000 : v;
}

// Reads the material values from the settings file; missing file or keys keep
// the current values. The echo shows each value as it will be used.
void readMaterialSettings() {
    SettingsFile file;
    if (!file.open()) return;
    struct Key {
        const char* key;
        int* value;
        const char* echo;
        int lowest;
    };
    const Key keys[] = {
        {"pref:VALPAWN=", &material.pawn, "   VALPAWN:  %d\n", 1},
        {"pref:VALKNIGHT=", &material.knight, "   VALKNIGHT:%d\n", 0},
        {"pref:VALBISHOP=", &material.bishop, "   VALBISHOP:%d\n", 0},
        {"pref:VALROOK=", &material.rook, "   VALROOK:  %d\n", 0},
        {"pref:VALQUEEN=", &material.queen, "   VALQUEEN: %d\n", 0},
    };
    bool echo = false;
    while (const char* line = file.nextLine()) {
        if (const char* v = settingsValue(line, "pref:printToScreen=")) {
            echo = readNumber(v) != 0;
            if (echo) std::printf("Read settings:\n");
        }
        for (const Key& k : keys) {
            if (const char* v = settingsValue(line, k.key)) {
                *k.value = clampValue(readNumber(v), k.lowest);
                if (echo) std::printf(k.echo, *k.value);
            }
        }
    }
}

void buildPawnMasks() {
    for (int sq = 0; sq < 64; ++sq) {
        int r = rankOfSq(sq), f = fileOfSq(sq);
        frontSpan[1][sq] = fileAhead(f, r, +1);
        frontSpan[0][sq] = fileAhead(f, r, -1);
        adjacentFiles[sq] = (f > 0 ? FILE_H << (f - 1) : 0) | (f < 7 ? FILE_H << (f + 1) : 0);
        pawnNeighbours[1][sq] = at(r - 1, f - 1) | at(r - 1, f + 1) | at(r, f - 1) | at(r, f + 1);
        pawnNeighbours[0][sq] = at(r + 1, f - 1) | at(r + 1, f + 1) | at(r, f - 1) | at(r, f + 1);
        for (int ci = 0; ci < 2; ++ci) {
            int dir = ci == 1 ? +1 : -1;
            U64 hSide = f > 0 ? fileAhead(f - 1, r, dir) : 0;
            U64 aSide = f < 7 ? fileAhead(f + 1, r, dir) : 0;
            sideFileSpan[0][ci][sq] = hSide;
            sideFileSpan[1][ci][sq] = aSide;
            passedMask[ci][sq] = fileAhead(f, r, dir) | hSide | aSide;
        }
    }
}

void buildDistanceAndColours() {
    for (int a = 0; a < 64; ++a) {
        U64 same = 0;
        for (int b = 0; b < 64; ++b) {
            int dr = absDiff(rankOfSq(a), rankOfSq(b)), df = absDiff(fileOfSq(a), fileOfSq(b));
            distance[a][b] = dr > df ? dr : df;
            if (((rankOfSq(a) + fileOfSq(a)) & 1) == ((rankOfSq(b) + fileOfSq(b)) & 1))
                same |= bit(b);
        }
        sameColourSquares[a] = same;
    }
}

// The rule of the square: is the king on k outside the square of the pawn on p?
void buildOutsideSquare() {
    for (int p = 0; p < 64; ++p) {
        int r = rankOfSq(p);
        int whiteQueening = 56 + fileOfSq(p), blackQueening = fileOfSq(p);
        int whiteMoves = r == 1 ? 6 - r : 7 - r;
        int blackMoves = r == 6 ? r - 1 : r;
        for (int k = 0; k < 64; ++k) {
            int dw = distance[k][whiteQueening], db = distance[k][blackQueening];
            outsideSquare[p][k][0] = db > blackMoves;
            outsideSquare[p][k][1] = dw - 1 > whiteMoves;
            outsideSquare[p][k][2] = db - 1 > blackMoves;
            outsideSquare[p][k][3] = dw > whiteMoves;
        }
    }
}

// Values far outside any sensible range would overflow the material sums or
// divide by zero in the capture scores; hold them within bounds.
} // namespace

void rebuildValueTables() {
    // The tuner writes the values too: held to the same range.
    material.pawn = clampValue(material.pawn, 1);
    material.knight = clampValue(material.knight, 0);
    material.bishop = clampValue(material.bishop, 0);
    material.rook = clampValue(material.rook, 0);
    material.queen = clampValue(material.queen, 0);
    pieceValue[PAWN] = material.pawn;
    pieceValue[KNIGHT] = material.knight;
    pieceValue[BISHOP] = material.bishop;
    pieceValue[ROOK] = material.rook;
    pieceValue[QUEEN] = material.queen;
    pieceValue[KING] = 0;
    pieceValue[EMPTY] = 0;
    pieceValue[7] = 0;
    initialMaterial = 2 * material.queen + 4 * material.rook + 4 * material.bishop +
                      4 * material.knight + 16 * material.pawn;
    for (int kind = 0; kind < 7; ++kind) {
        for (int sq = 0; sq < 64; ++sq) {
            if (kind == EMPTY) {
                pieceSquare[0][kind][sq] = pieceSquare[1][kind][sq] = 0;
                continue;
            }
            pieceSquare[1][kind][sq] = pieceSquareSource[kind][63 - sq];
            pieceSquare[0][kind][sq] = -pieceSquareSource[kind][(sq | 7) - (sq & 7)];
        }
    }
}

void initBoardTables(OrderingTables* ordering, Board& board, const MaterialValues* given) {
    static bool keysAndSlidersBuilt = false;
    if (!keysAndSlidersBuilt) {
        buildZobrist();
        initSliderTables();
        keysAndSlidersBuilt = true;
    }
    orderingTables = ordering;
    buildStepTables();
    if (given)
        material = *given;
    else
        readMaterialSettings();
    buildPawnMasks();
    buildDistanceAndColours();
    buildOutsideSquare();
    rebuildValueTables();
    setStartPosition(board);
}
