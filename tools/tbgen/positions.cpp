#include "tools/tbgen/positions.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <utility>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "egtb/egtb.h"
#include "egtb/index.h"
#include "egtb/tables.h"

namespace {

int kindOfLetter(char c) {
    const char* letters = "pnbrq";
    const char* p = std::strchr(letters, c);
    return p && c ? static_cast<int>(p - letters) : -1;
}

void countsOfName(const char* name, int counts[MATERIAL_KINDS]) {
    for (int k = 0; k < MATERIAL_KINDS; ++k) counts[k] = 0;
    int colour = -1;
    for (const char* p = name; *p; ++p) {
        if (*p == 'k') {
            ++colour;
            continue;
        }
        ++counts[colour * 5 + kindOfLetter(*p)];
    }
}

int squareOfPiece(Placement p, int i) {
    return static_cast<int>(p >> (6 * i) & 63);
}

bool isPawnSquare(int sq) {
    return sq >= 8 && sq < 56;
}

bool kingsApart(int a, int b) {
    int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
    return df * df > 1 || dr * dr > 1;
}

} // namespace

TableLayout tableLayout(int id) {
    TableLayout t;
    t.id = id;
    t.symmetric = (tableRegistry[id].flags & TABLE_SYMMETRIC) != 0;
    t.pieces.push_back({0, KING});
    t.pieces.push_back({1, KING});
    int counts[MATERIAL_KINDS];
    countsOfName(tableRegistry[id].name, counts);
    for (int c = 0; c < 2; ++c)
        for (int k = QUEEN; k >= PAWN; --k)
            for (int n = 0; n < counts[c * 5 + k]; ++n) t.pieces.push_back({c, k});
    t.pawns = counts[PAWN] + counts[5 + PAWN] > 0;
    return t;
}

void boardOf(const TableLayout& t, Placement p, Board& b) {
    std::memset(&b, 0, sizeof b);
    for (auto& s : b.squares) s = EMPTY;
    b.toMove = (p >> 55 & 1) ? BLACK : WHITE;
    b.enpassant = static_cast<std::int8_t>(p >> 48 & 127);
    b.recaptureSq = 255;
    for (std::size_t i = 0; i < t.pieces.size(); ++i) {
        const TablePiece& pc = t.pieces[i];
        int sq = squareOfPiece(p, static_cast<int>(i));
        b.squares[sq] = static_cast<std::int8_t>(pc.kind);
        b.pieceBB[pc.kind][pc.colour] |= bit(sq);
        b.colourBB[pc.colour] |= bit(sq);
        b.occupied |= bit(sq);
        if (pc.kind == KING)
            b.kingSq[pc.colour] = static_cast<std::int8_t>(sq);
        else {
            ++b.pieceCount[pc.colour == 0 ? 1 : 0][pc.kind];
            (pc.colour == 0 ? b.wMat : b.bMat) += pieceValue[pc.kind];
        }
    }
    b.totalMat = b.wMat + b.bMat;
    b.lazy = b.wMat - b.bMat;
}

void forEachPosition(const TableLayout& t, const std::function<void(Placement)>& visit,
                     bool classesOnly) {
    const int n = static_cast<int>(t.pieces.size());
    // Square 0 is in both sets, so the odometer may start there.
    auto firstKingMayStand = [&](int s) {
        const int file = s & 7, rank = s >> 3;
        return !classesOnly || (file <= 3 && (t.pawns || rank <= file));
    };
    std::vector<int> sq(n, 0);
    Board b;
    for (int stm = 0; stm < (t.symmetric ? 1 : 2); ++stm) {
        // Odometer over the squares of every piece.
        for (;;) {
            bool ok = kingsApart(sq[0], sq[1]);
            U64 used = 0;
            for (int i = 0; i < n && ok; ++i) {
                if (used & bit(sq[i])) ok = false;
                used |= bit(sq[i]);
                if (t.pieces[i].kind == PAWN && !isPawnSquare(sq[i])) ok = false;
                // Like pieces in increasing order: each set once.
                if (i > 0 && t.pieces[i].kind == t.pieces[i - 1].kind &&
                    t.pieces[i].colour == t.pieces[i - 1].colour && sq[i] < sq[i - 1])
                    ok = false;
            }
            if (ok) {
                Placement p = Placement(stm) << 55;
                for (int i = 0; i < n; ++i) p |= Placement(sq[i]) << (6 * i);
                boardOf(t, p, b);
                const int mover = stm == 0 ? WHITE : BLACK;
                if (!isSquareAttacked(b, b.kingSq[stm ^ 1], -mover)) {
                    visit(p);
                    // The same squares just after a double push beside a pawn
                    // of the side to move.
                    const int up = stm == 0 ? 8 : -8;
                    U64 theirPawns = b.pieceBB[PAWN][stm ^ 1];
                    while (theirPawns) {
                        int v = popHighest(theirPawns);
                        int passed = v + up, origin = v + 2 * up;
                        if ((v >> 3) != (stm == 0 ? 4 : 3)) continue;
                        if (b.occupied & (bit(passed) | bit(origin))) continue;
                        U64 beside =
                            ((v & 7) > 0 ? bit(v - 1) : 0) | ((v & 7) < 7 ? bit(v + 1) : 0);
                        if (!(beside & b.pieceBB[PAWN][stm])) continue;
                        visit(p | Placement(passed) << 48);
                    }
                }
            }
            int i = 0;
            for (; i < n; ++i) {
                do ++sq[i];
                while (i == 0 && sq[0] < 64 && !firstKingMayStand(sq[0]));
                if (sq[i] < 64) break;
                sq[i] = 0;
            }
            if (i == n) break;
        }
    }
}

namespace {

// tableOfCounts reads the names each time; the generator asks millions of
// times for a handful of materials. Counts of up to three per kind make a
// 20-bit key.
int tableOfCountsMemo(const int counts[MATERIAL_KINDS]) {
    static std::vector<std::int16_t> memo(1 << 20, INT16_MIN);
    unsigned key = 0;
    for (int k = 0; k < MATERIAL_KINDS; ++k) {
        if (counts[k] > 3) return tableOfCounts(counts);
        key = key << 2 | static_cast<unsigned>(counts[k]);
    }
    if (memo[key] == INT16_MIN) memo[key] = static_cast<std::int16_t>(tableOfCounts(counts));
    return memo[key];
}

} // namespace

TableSpot locate(const Board& board) {
    PieceSet sets[2];
    int counts[MATERIAL_KINDS];
    if (std::popcount(board.occupied) == 2) return {0, 0, 0};
    if (!collectPieceSets(board, sets, counts)) return {-1, 0, 0};
    int id = tableOfCountsMemo(counts);
    if (id == 0) return {-1, 0, 0};
    int side = board.toMove == WHITE ? 0 : 1, invert = 0;
    if (id < 0) {
        id = -id;
        side ^= 1;
        std::swap(sets[0], sets[1]);
        invert = 1;
    }
    int ep = board.enpassant ? board.enpassant : 127;
    std::uint32_t index = tableIndex(id, side, sets[0], sets[1], ep, invert);
    return {id, sideSlot(tableRegistry[id], side), index};
}

TableSpot locateIn(const TableLayout& t, const Board& board) {
    PieceSet sets[2];
    int counts[MATERIAL_KINDS];
    collectPieceSets(board, sets, counts);
    const int side = board.toMove == WHITE ? 0 : 1;
    const int ep = board.enpassant ? board.enpassant : 127;
    return {t.id, sideSlot(tableRegistry[t.id], side),
            tableIndex(t.id, side, sets[0], sets[1], ep, 0)};
}

std::vector<int> tablesReached(int id) {
    int counts[MATERIAL_KINDS];
    countsOfName(tableRegistry[id].name, counts);
    std::vector<int> out;
    auto add = [&](const int* c) {
        int total = 0;
        for (int k = 0; k < MATERIAL_KINDS; ++k) total += c[k];
        if (total == 0) return;
        int t = tableOfCounts(c);
        if (t < 0) t = -t;
        if (t == 0) return;
        for (int x : out)
            if (x == t) return;
        out.push_back(t);
    };
    for (int k = 0; k < MATERIAL_KINDS; ++k) {
        if (!counts[k]) continue;
        int c[MATERIAL_KINDS];
        std::memcpy(c, counts, sizeof c);
        --c[k];
        add(c); // a capture
    }
    for (int colour = 0; colour < 2; ++colour) {
        if (!counts[colour * 5 + PAWN]) continue;
        for (int promo = KNIGHT; promo <= QUEEN; ++promo) {
            int c[MATERIAL_KINDS];
            std::memcpy(c, counts, sizeof c);
            --c[colour * 5 + PAWN];
            ++c[colour * 5 + promo];
            add(c);
            const int enemy = (1 - colour) * 5;
            for (int k = KNIGHT; k <= QUEEN; ++k) // promotion with a capture
                if (c[enemy + k]) {
                    --c[enemy + k];
                    add(c);
                    ++c[enemy + k];
                }
        }
    }
    return out;
}

namespace {

int mapSquare(int image, int sq) {
    if (image & 1) sq ^= 7;                       // files exchanged
    if (image & 2) sq ^= 56;                      // ranks turned over
    if (image & 4) sq = 8 * (sq & 7) + (sq >> 3); // diagonal
    return sq;
}

bool kingsOnOneLongDiagonal(int a, int b) {
    auto onMain = [](int sq) { return (sq & 7) == (sq >> 3); };
    auto onAnti = [](int sq) { return (sq & 7) + (sq >> 3) == 7; };
    return (onMain(a) && onMain(b)) || (onAnti(a) && onAnti(b));
}

// The distinct images with the symmetry that makes each.
int distinctImages(const TableLayout& t, Placement p, Placement out[8], int which[8]) {
    const int n = static_cast<int>(t.pieces.size());
    int count = 0;
    for (int image = 0; image < (t.pawns ? 2 : 8); ++image) {
        int sq[8];
        for (int i = 0; i < n; ++i) sq[i] = mapSquare(image, squareOfPiece(p, i));
        // Like pieces in increasing order, as the enumeration sets them.
        for (int i = 1; i < n; ++i)
            for (int j = i; j > 0 && t.pieces[j].kind == t.pieces[j - 1].kind &&
                            t.pieces[j].colour == t.pieces[j - 1].colour && sq[j] < sq[j - 1];
                 --j)
                std::swap(sq[j], sq[j - 1]);
        Placement q = p & (Placement{1} << 55);
        int ep = static_cast<int>(p >> 48 & 127);
        if (ep) q |= Placement(mapSquare(image, ep)) << 48;
        for (int i = 0; i < n; ++i) q |= Placement(sq[i]) << (6 * i);
        bool seen = false;
        for (int k = 0; k < count && !seen; ++k) seen = out[k] == q;
        if (!seen) {
            which[count] = image;
            out[count++] = q;
        }
    }
    return count;
}

} // namespace

Placement canonicalPlacement(const TableLayout& t, Placement p) {
    Placement images[8];
    int which[8];
    int n = distinctImages(t, p, images, which);
    return *std::min_element(images, images + n);
}

bool splitClass(const TableLayout& t, const Board& b) {
    return !t.pawns && kingsOnOneLongDiagonal(b.kingSq[0], b.kingSq[1]);
}

int classImages(const TableLayout& t, Placement p, int images[8]) {
    // A symmetry other than the identity keeps a board only if it keeps both
    // kings' squares: exchanging the files keeps none, and of the eight
    // symmetries without pawns only the reflections in a long diagonal keep
    // squares, those on it. Elsewhere every image is a board of its own.
    if (t.pawns || !kingsOnOneLongDiagonal(squareOfPiece(p, 0), squareOfPiece(p, 1))) {
        const int n = t.pawns ? 2 : 8;
        for (int k = 0; k < n; ++k) images[k] = k;
        return n;
    }
    Placement q[8];
    const int n = distinctImages(t, p, q, images);
    Board board;
    boardOf(t, p, board);
    const std::uint32_t index = locate(board).index;
    int same = 0;
    for (int k = 0; k < n; ++k) {
        boardOf(t, q[k], board);
        if (locate(board).index == index) images[same++] = images[k];
    }
    return same;
}

void imageBoard(const Board& in, int image, Board& out) {
    out = in;
    for (int sq = 0; sq < 64; ++sq) out.squares[mapSquare(image, sq)] = in.squares[sq];
    auto mapBits = [image](U64 b) {
        U64 r = 0;
        while (b) r |= bit(mapSquare(image, popHighest(b)));
        return r;
    };
    for (int k = 0; k < 6; ++k)
        for (int c = 0; c < 2; ++c) out.pieceBB[k][c] = mapBits(in.pieceBB[k][c]);
    for (int c = 0; c < 2; ++c) {
        out.colourBB[c] = mapBits(in.colourBB[c]);
        out.kingSq[c] = static_cast<std::int8_t>(mapSquare(image, in.kingSq[c]));
    }
    out.occupied = mapBits(in.occupied);
    if (in.enpassant) out.enpassant = static_cast<std::int8_t>(mapSquare(image, in.enpassant));
}

namespace {

void shiftPiece(Board& b, int colour, int kind, int from, int to) {
    const U64 m = bit(from) | bit(to);
    b.pieceBB[kind][colour] ^= m;
    b.colourBB[colour] ^= m;
    b.occupied ^= m;
    b.squares[from] = EMPTY;
    b.squares[to] = static_cast<std::int8_t>(kind);
    if (kind == KING) b.kingSq[colour] = static_cast<std::int8_t>(to);
}

// A capture or a promotion: the moves that leave the table.
bool changesMaterial(const Board& b, Move m) {
    const int to = moveTo(m);
    return movePromo(m) != 0 || b.squares[to] != EMPTY ||
           (b.enpassant && to == b.enpassant && b.squares[moveFrom(m)] == PAWN);
}

U64 pawnsBeside(const Board& b, int sq, int colour) {
    U64 beside = ((sq & 7) > 0 ? bit(sq - 1) : 0) | ((sq & 7) < 7 ? bit(sq + 1) : 0);
    return beside & b.pieceBB[PAWN][colour];
}

} // namespace

void forEachParent(const Board& child, const std::function<void(const Board&)>& visit) {
    const int cs = child.toMove == WHITE ? 0 : 1; // on move in the child
    const int ms = cs ^ 1;                        // made the move taken back
    const int up = ms == 0 ? 8 : -8;              // the mover's pawns go this way
    Board p = child;
    p.toMove = static_cast<std::int8_t>(-child.toMove);
    p.enpassant = 0;
    auto emit = [&](Board& parent) {
        if (isSquareAttacked(parent, parent.kingSq[cs], -parent.toMove)) return;
        visit(parent);
        // The same squares just after the child side's double push.
        U64 pawns = parent.pieceBB[PAWN][cs];
        while (pawns) {
            int v = popHighest(pawns);
            int passed = v + up, origin = v + 2 * up;
            if ((v >> 3) != (cs == 0 ? 3 : 4)) continue;
            if (parent.occupied & (bit(passed) | bit(origin))) continue;
            if (!pawnsBeside(parent, v, ms)) continue;
            parent.enpassant = static_cast<std::int8_t>(passed);
            visit(parent);
            parent.enpassant = 0;
        }
    };
    // Each parent is made in place on p and the move put back after it.
    if (child.enpassant) { // just after a double push: only that move comes back
        const int to = child.enpassant + up, from = child.enpassant - up;
        shiftPiece(p, ms, PAWN, to, from);
        emit(p);
        return;
    }
    U64 own = child.colourBB[ms];
    while (own) {
        const int sq = popHighest(own);
        const int kind = child.squares[sq];
        if (kind == PAWN) {
            const int one = sq - up, two = sq - 2 * up;
            if (one < 8 || one >= 56 || (child.occupied & bit(one))) continue;
            shiftPiece(p, ms, PAWN, sq, one);
            emit(p);
            shiftPiece(p, ms, PAWN, one, sq);
            // Back to the start square, unless an enemy pawn beside could
            // have taken it en passant (that position has its own index).
            if ((sq >> 3) == (ms == 0 ? 3 : 4) && !(child.occupied & bit(two)) &&
                !pawnsBeside(child, sq, cs)) {
                shiftPiece(p, ms, PAWN, sq, two);
                emit(p);
                shiftPiece(p, ms, PAWN, two, sq);
            }
            continue;
        }
        U64 to = kind == KING     ? kingAttacks[sq]
                 : kind == KNIGHT ? knightAttacks[sq]
                 : kind == BISHOP ? bishopAttacks(child.occupied, sq)
                 : kind == ROOK   ? rookAttacks(child.occupied, sq)
                                  : queenAttacks(child.occupied, sq);
        to &= ~child.occupied;
        while (to) {
            const int target = popHighest(to);
            shiftPiece(p, ms, kind, sq, target);
            emit(p);
            shiftPiece(p, ms, kind, target, sq);
        }
    }
}

int splitLegalMoves(Board& b, Move* leaving, int& keeping) {
    MoveList lists[2];
    const int counts[2] = {generateCaptures(b, lists[0]), generateQuiet(b, lists[1])};
    const int us = b.toMove == WHITE ? 0 : 1;
    int n = 0;
    keeping = 0;
    Board child;
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < counts[k]; ++i) {
            const Move m = lists[k].moves[i];
            if (changesMaterial(b, m)) {
                child = b;
                makeMove(child, m);
                if (!leavesKingAttacked(child, m)) leaving[n++] = m;
                continue;
            }
            // Tried in place: moved, the king looked at, moved back.
            const int from = moveFrom(m), to = moveTo(m), kind = b.squares[from];
            shiftPiece(b, us, kind, from, to);
            if (!isSquareAttacked(b, b.kingSq[us], b.toMove)) ++keeping;
            shiftPiece(b, us, kind, to, from);
        }
    return n;
}

std::string placementText(const TableLayout& t, Placement p) {
    Board b;
    boardOf(t, p, b);
    char fen[FEN_BUFFER_SIZE];
    writeFen(b, fen);
    return fen;
}
