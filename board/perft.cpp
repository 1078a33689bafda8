#include "board/perft.h"

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/magics.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"

namespace {

constexpr U64 FILE_H = 0x0101010101010101ull;
constexpr U64 FILE_A = 0x8080808080808080ull;
constexpr U64 RANK_1 = 0x00000000000000FFull;
constexpr U64 RANK_3 = 0x0000000000FF0000ull;
constexpr U64 RANK_6 = 0x0000FF0000000000ull;
constexpr U64 RANK_8 = 0xFF00000000000000ull;

// Is sq attacked by side `them` (0 white, 1 black) with the given occupancy?
bool attackedBy(const Board& b, int sq, int them, U64 occ) {
    if (pawnAttacks[them ^ 1][sq] & b.pieceBB[PAWN][them]) return true;
    if (knightAttacks[sq] & b.pieceBB[KNIGHT][them]) return true;
    if (kingAttacks[sq] & b.pieceBB[KING][them]) return true;
    U64 queens = b.pieceBB[QUEEN][them];
    if (slideRook(occ, sq) & (b.pieceBB[ROOK][them] | queens)) return true;
    return (slideBishop(occ, sq) & (b.pieceBB[BISHOP][them] | queens)) != 0;
}

int slowCount(const Board& b) {
    Move moves[MOVELIST_CAPACITY];
    return generateLegal(b, moves);
}

// Pawn moves of the pawns in `pawns` landing on `allowed`; a move to the last
// rank counts four times (one per promotion kind).
template <int Us> int countPawnMoves(const Board& b, U64 pawns, U64 allowed) {
    const U64 empty = ~b.occupied;
    const U64 enemy = b.colourBB[Us ^ 1];
    const U64 lastRank = Us == 0 ? RANK_8 : RANK_1;
    U64 single, doubled, towardA, towardH;
    if constexpr (Us == 0) {
        single = (pawns << 8) & empty;
        doubled = ((single & RANK_3) << 8) & empty;
        towardA = ((pawns & ~FILE_A) << 9) & enemy;
        towardH = ((pawns & ~FILE_H) << 7) & enemy;
    } else {
        single = (pawns >> 8) & empty;
        doubled = ((single & RANK_6) >> 8) & empty;
        towardA = ((pawns & ~FILE_A) >> 7) & enemy;
        towardH = ((pawns & ~FILE_H) >> 9) & enemy;
    }
    single &= allowed;
    doubled &= allowed;
    towardA &= allowed;
    towardH &= allowed;
    return popcount(doubled) + popcount(single & ~lastRank) + popcount(towardA & ~lastRank) +
           popcount(towardH & ~lastRank) +
           4 * (popcount(single & lastRank) + popcount(towardA & lastRank) +
                popcount(towardH & lastRank));
}

template <int Us> int countLegal(const Board& b) {
    constexpr int them = Us ^ 1;
    const U64 ours = b.colourBB[Us];
    const U64 occ = b.occupied;
    const int k = msb(b.pieceBB[KING][Us]);
    const U64 kingBit = bit(k);
    const U64 theirQueens = b.pieceBB[QUEEN][them];
    const U64 theirRooks = b.pieceBB[ROOK][them] | theirQueens;
    const U64 theirBishops = b.pieceBB[BISHOP][them] | theirQueens;

    int n = 0;
    U64 steps = kingAttacks[k] & ~ours;
    while (steps) {
        int to = popHighest(steps);
        if (!attackedBy(b, to, them, occ ^ kingBit)) ++n;
    }

    U64 checkers = (pawnAttacks[Us][k] & b.pieceBB[PAWN][them]) |
                   (knightAttacks[k] & b.pieceBB[KNIGHT][them]) | (slideRook(occ, k) & theirRooks) |
                   (slideBishop(occ, k) & theirBishops);
    if (checkers & (checkers - 1)) return n; // double check: the king alone moves

    U64 target = ~ours;
    if (checkers) {
        int c = msb(checkers);
        target = betweenMask[k][c] | checkers;
    } else {
        const int home = Us == 0 ? E1 : E8;
        const int kingRight = Us == 0 ? CASTLE_WK : CASTLE_BK;
        const int queenRight = Us == 0 ? CASTLE_WQ : CASTLE_BQ;
        if ((b.castle & kingRight) && !(occ & (bit(home - 1) | bit(home - 2))) &&
            !attackedBy(b, home - 1, them, occ) && !attackedBy(b, home - 2, them, occ))
            ++n;
        if ((b.castle & queenRight) && !(occ & (bit(home + 1) | bit(home + 2) | bit(home + 3))) &&
            !attackedBy(b, home + 1, them, occ) && !attackedBy(b, home + 2, them, occ))
            ++n;
    }

    // Pieces pinned to the king may move only along the pin line.
    U64 pinned = 0;
    U64 snipers = (slideRook(b.colourBB[them], k) & theirRooks) |
                  (slideBishop(b.colourBB[them], k) & theirBishops);
    while (snipers) {
        int s = popHighest(snipers);
        U64 between = betweenMask[k][s] & occ;
        if (between && !(between & (between - 1))) pinned |= between & ours;
    }

    U64 knights = b.pieceBB[KNIGHT][Us] & ~pinned;
    while (knights) n += popcount(knightAttacks[popHighest(knights)] & target);

    const U64 queens = b.pieceBB[QUEEN][Us];
    U64 rooks = b.pieceBB[ROOK][Us] | queens;
    while (rooks) {
        int from = popHighest(rooks);
        U64 t = slideRook(occ, from) & target;
        if (pinned & bit(from)) t &= lineMask[k][from];
        n += popcount(t);
    }
    U64 bishops = b.pieceBB[BISHOP][Us] | queens;
    while (bishops) {
        int from = popHighest(bishops);
        U64 t = slideBishop(occ, from) & target;
        if (pinned & bit(from)) t &= lineMask[k][from];
        n += popcount(t);
    }

    const U64 pawns = b.pieceBB[PAWN][Us];
    n += countPawnMoves<Us>(b, pawns & ~pinned, target);
    U64 pinnedPawns = pawns & pinned;
    while (pinnedPawns) {
        int from = popHighest(pinnedPawns);
        n += countPawnMoves<Us>(b, bit(from), target & lineMask[k][from]);
    }

    // En passant removes two pawns from a line at once; play it to be sure.
    if (b.enpassant) {
        const int ep = b.enpassant;
        U64 takers = pawnAttacks[them][ep] & pawns;
        while (takers) {
            int from = popHighest(takers);
            Move m = static_cast<Move>(from | ep << 6);
            Board child = b;
            makeMove(child, m);
            if (!leavesKingAttacked(child, m)) ++n;
        }
    }
    return n;
}

} // namespace

int countLegalMoves(const Board& b) {
    const int us = b.toMove == WHITE ? 0 : 1;
    U64 ourKing = b.pieceBB[KING][us], theirKing = b.pieceBB[KING][us ^ 1];
    // Odd positions (no king, several kings, the side not to move in check)
    // go through the generator so that both always agree.
    if (popcount(ourKing) != 1 || popcount(theirKing) != 1) return slowCount(b);
    if (attackedBy(b, msb(theirKing), us, b.occupied)) return slowCount(b);
    return us == 0 ? countLegal<0>(b) : countLegal<1>(b);
}

U64 perft(const Board& board, int depth) {
    if (depth <= 0) return 1;
    if (depth == 1) return static_cast<U64>(countLegalMoves(board));
    MoveList list;
    int n = generateOrdered(board, list);
    U64 total = 0;
    for (int i = 0; i < n; ++i) {
        Move m = list.moves[i];
        Board child = board;
        makeMove(child, m);
        if (leavesKingAttacked(child, m)) continue;
        total += perft(child, depth - 1);
    }
    return total;
}

int perftDivide(const Board& board, int depth, Move* moves, U64* counts) {
    int n = generateLegal(board, moves);
    for (int i = 0; i < n; ++i) {
        Board child = board;
        makeMove(child, moves[i]);
        counts[i] = perft(child, depth - 1);
    }
    return n;
}
