// The positions of one table for the generator and its check: every legal
// placement of the table's pieces with either side to move (and the
// en-passant variants after a double push), turned into engine boards, and
// the table side and index each one has.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
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
    bool pawns = false;
};

TableLayout tableLayout(int id);

// Calls visit for every legal placement: kings apart, pawns on ranks 2-7,
// the side not to move not in check. Symmetric tables: White to move only.
// With classesOnly the first king keeps to the squares one image of every
// board reaches (a1-d1-d4 without pawns, files a-d with them): every
// symmetry class is still visited, most of them once instead of 8 or 2 times.
void forEachPosition(const TableLayout& t, const std::function<void(Placement)>& visit,
                     bool classesOnly = false);

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
// The same for a board with the table's material, White's pieces those the
// table names first (every board the generator makes from a placement, and
// every move taken back from one): the table need not be looked up.
TableSpot locateIn(const TableLayout& t, const Board& board);

// The least of a placement's images.
Placement canonicalPlacement(const TableLayout& t, Placement p);

// The symmetries (image numbers, one per distinct board) that keep a
// placement at its index: all of them, except that with both kings on one
// long diagonal of a pawnless table a position and its reflection have two
// indices. Returns their number, the size of the position's class.
int classImages(const TableLayout& t, Placement p, int images[8]);

// True when a board's class may be half of its images (pawnless, both kings
// on one long diagonal).
bool splitClass(const TableLayout& t, const Board& b);

// The board under symmetry image (bit 0: files exchanged, bit 1: ranks
// turned over, bit 2: the diagonal).
void imageBoard(const Board& in, int image, Board& out);

// Calls visit for every position one move before the board's: the side not
// to move takes back a move that neither captured nor promoted (a pawn
// steps back one square, or two to its start when it passed no pawn that
// could take it en passant). Each parent comes once, followed by its
// variants just after a double push beside an enemy pawn.
void forEachParent(const Board& child, const std::function<void(const Board&)>& visit);

// The legal moves of a board in two parts: the captures and promotions,
// written to leaving (their number returned), and the number of the others,
// which stay in the table. The board is back as it was on return.
int splitLegalMoves(Board& b, Move* leaving, int& keeping);

// The FEN of a placement's board.
std::string placementText(const TableLayout& t, Placement p);

// The tables a table's captures and promotions lead to.
std::vector<int> tablesReached(int id);
