// The positions of one table for the generator and its check: every legal
// placement of the table's pieces with either side to move (and the
// en-passant variants after a double push), turned into engine boards, and
// the table side and index each one has.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "board/board.h"

struct TablePiece {
    int colour; // 0 White, 1 Black
    int kind;   // PAWN .. KING
};

// A placement: six bits per piece in the table's piece order, the
// en-passant square in bits 48-54 (0: none) and the side to move in bit 55
// (set: Black).
using Placement = std::uint64_t;

struct TableLayout {
    int id = 0;
    std::vector<TablePiece> pieces; // white king, black king, white pieces, black pieces
    bool symmetric = false;
};

TableLayout tableLayout(int id);

// Calls visit for every legal placement: kings apart, pawns on ranks 2-7,
// the side not to move not in check. Symmetric tables: White to move only.
void forEachPosition(const TableLayout& t, const std::function<void(Placement)>& visit);

// The board of a placement.
void boardOf(const TableLayout& t, Placement p, Board& board);

// Where a board's position lies: table id (0: kings alone, -1: no table),
// the file slot (0 or 1) and the index.
struct TableSpot {
    int id;
    int slot;
    std::uint32_t index;
};
TableSpot locate(const Board& board);

// The least of a placement's images under the table's symmetries (files
// exchanged; without pawns also ranks turned over and the diagonal).
Placement canonicalPlacement(const TableLayout& t, Placement p);

// The tables a table's captures and promotions lead to.
std::vector<int> tablesReached(int id);
