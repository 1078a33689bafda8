#include "board/attacks.h"

#include "board/bitboard.h"
#include "board/magics.h"
#include "board/tables.h"

bool isSquareAttacked(const Board& b, int sq, int side) {
    // Attackers are black when side is white, and the reverse. A black pawn
    // attacks sq from the squares a white pawn on sq would attack.
    int them = side == WHITE ? 1 : 0;
    int ownRow = side == WHITE ? 0 : 1;
    if (pawnAttacks[ownRow][sq] & b.pieceBB[PAWN][them]) return true;
    if (kingAttacks[sq] & b.pieceBB[KING][them]) return true;
    if (knightAttacks[sq] & b.pieceBB[KNIGHT][them]) return true;
    U64 queens = b.pieceBB[QUEEN][them];
    if (slideRook(b.occupied, sq) & (b.pieceBB[ROOK][them] | queens)) return true;
    if (slideBishop(b.occupied, sq) & (b.pieceBB[BISHOP][them] | queens)) return true;
    return false;
}

bool inCheck(const Board& b) {
    return isSquareAttacked(b, b.kingSq[b.toMove == WHITE ? 0 : 1], b.toMove);
}

bool leavesKingAttacked(const Board& b, unsigned move) {
    int mover = -b.toMove;
    int moverIdx = mover == WHITE ? 0 : 1;
    if (isSquareAttacked(b, b.kingSq[moverIdx], mover)) return true;
    int from = moveFrom(move), to = moveTo(move);
    int home = mover == WHITE ? E1 : E8;
    if (from != home || !(b.pieceBB[KING][moverIdx] & bit(to))) return false;
    int crossed;
    if (to == home - 2) {
        crossed = home - 1; // king side: f1 / f8
    } else if (to == home + 2) {
        crossed = home + 1; // queen side: d1 / d8
    } else {
        return false;
    }
    return isSquareAttacked(b, home, mover) || isSquareAttacked(b, crossed, mover);
}

bool hasPieces(const Board& b) {
    int us = b.toMove == WHITE ? 0 : 1;
    return (b.pieceBB[KNIGHT][us] | b.pieceBB[BISHOP][us] | b.pieceBB[ROOK][us] |
            b.pieceBB[QUEEN][us]) != 0;
}
