// Index functions of the tables: one routine, driven by each table's pieces,
// maps a position (two piece sets, en-passant square, inversion flag) to its
// place in a table side's file.
#pragma once

#include <cstdint>

#include "egtb/tables.h"

// Returned for input no legal position gives (adjacent kings, a piece on a
// square its table leaves out): past every table's length.
inline constexpr std::uint32_t INDEX_NONE = 0xFFFFFFFFu;

// Builds the king-pair, legal-square and base tables once, sets indexFn of
// every registry entry. Safe to call again.
void initIndexFunctions();

// The index of a position in table id, side 0 (the first set to move) or 1.
std::uint32_t tableIndex(int id, int side, const PieceSet& first, const PieceSet& second, int ep,
                         int invert);

// The range of the index function of a table side (highest index + 1), as
// the layout gives it.
std::uint64_t layoutLength(int id, int side);
