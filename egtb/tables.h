// The registry of tablebase kinds: one TableDesc per table (index 0 is the
// placeholder "kk"), with its flags, index functions, the files registered for
// each side to move and their cache buckets; and the material map from piece
// counts to a signed table number.
#pragma once

#include <cstdint>
#include <string>

#include "egtb/spinlock.h"

inline constexpr int TABLE_COUNT = 179; // ids 0..178
inline constexpr int LAST_TABLE_ID = 178;
inline constexpr std::uint32_t TABLE_SYMMETRIC = 1; // one file serves both sides to move
inline constexpr std::uint32_t TABLE_16BIT = 2;     // two bytes per position

inline constexpr int KPPKP_ID = 36;

// The squares of one side's pieces as the index functions read them: per kind
// (pawn, knight, bishop, rook, queen) up to three squares, then the king.
struct PieceSet {
    std::int32_t squares[5][3];
    std::int32_t king;
};

// Index of a position in one side's table file. ep is the en-passant square
// or 127; invert is 1 when the colours were exchanged to fit the table.
using IndexFn = std::uint32_t (*)(const PieceSet& first, const PieceSet& second, int ep,
                                  int invert);

struct EmdInfo;     // descriptor of a compressed file (emd.h)
struct CacheBucket; // one of a side's 32 cache buckets (cache.h)

struct TableDesc {
    std::int32_t tableId;
    std::uint32_t flags;
    IndexFn indexFn[2]; // White to move, Black to move; none yet: the side is not probed
    char name[8];
    std::uint32_t knownLength[2]; // the index range each side must have; 0 = not checked
    std::uint32_t length[2];      // index range of the registered file
    std::string fileName[2];      // empty when the side is not registered
    SpinLock fileLock[2];
    int openFile[2]; // descriptor, -1 when closed
    EmdInfo* compressedInfo[2];
    CacheBucket* blockIndex[2];
};

// The process's registry, filled with names, flags and lengths before main.
extern TableDesc tableRegistry[TABLE_COUNT];

// The side slot a side to move uses: a symmetric table keeps one file, slot 0.
inline int sideSlot(const TableDesc& t, int side) {
    return (t.flags & TABLE_SYMMETRIC) ? 0 : side;
}

// Material map. Counts: white pawns, knights, bishops, rooks, queens, then the
// same for Black. A key covers at most four pieces besides the kings.
inline constexpr int MATERIAL_KINDS = 10;
void clearMaterialMap();
// Enters table id under its name's counts (+id) and, unless symmetric, under
// the colour-exchanged counts (-id). False when the name has no key.
bool enterMaterialMap(const TableDesc& table);
// The signed table number for the counts, 0 for none.
int lookupMaterial(const int counts[MATERIAL_KINDS]);
// The signed table number for the counts from the names alone, registered or
// not (-id: the colours exchanged); 0 when no table has that material.
int tableOfCounts(const int counts[MATERIAL_KINDS]);
