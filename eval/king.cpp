#include "eval/king.h"

#include "board/bitboard.h"
#include "board/tables.h"
#include "eval/params.h"

namespace eval {

int shelter(const Board& board, int c, int kingSq) {
    const int k = kingSq & 63;
    const int tc = tableColour(c);
    const U64 own = board.pieceBB[PAWN][c];
    const U64 front = kingAttacks[k] & passedMask[tc][k]; // the up to three squares ahead
    int s = 3 * popcount(own & front) + 2 * popcount(front & ~own & backward(c, own));

    // A king on its first two ranks wants the pawns of its wing's edge files.
    const U64 king = bit(k) & (relativeRank(c, 0) | relativeRank(c, 1));
    if (king & KING_WING) {
        if (!(own & FILE_G) || !(own & FILE_H)) s /= 2;
    } else if (king & QUEEN_WING) {
        if (!(own & FILE_A) || !(own & FILE_B)) s /= 2;
    }
    return s;
}

int evaluateKingPlacement(const Board& board, EvalInfo& info, Halves* halves) {
    const int wk = board.kingSq[W] & 63;
    const int bk = board.kingSq[B] & 63;
    const U64 occ = board.occupied;
    info.bishopChecks[W] = bishopAttacks(occ, wk) & ~board.colourBB[B];
    info.rookChecks[W] = rookAttacks(occ, wk) & ~board.colourBB[B];
    info.bishopChecks[B] = bishopAttacks(occ, bk) & ~board.colourBB[W];
    info.rookChecks[B] = rookAttacks(occ, bk) & ~board.colourBB[W];

    int w = 0, b = 0;
    if (board.totalMat > 40 * material.pawn) {
        w = pieceSquare[1][KING][wk];
        b = -pieceSquare[0][KING][bk];
    } else {
        const int rook = material.rook;
        if (board.wMat < rook && rook <= board.bMat) {
            w = kingCentre[wk] * weights.kingCentreWeight;
        } else if (board.bMat < rook && rook <= board.wMat) {
            b = kingCentre[bk] * weights.kingCentreWeight;
        } else {
            const U64 pawns = board.pieceBB[PAWN][W] | board.pieceBB[PAWN][B];
            if (!pawns || ((pawns & KING_WING) && (pawns & QUEEN_WING))) {
                w = kingCentre[wk] * weights.kingCentreWeight;
                b = kingCentre[bk] * weights.kingCentreWeight;
            } else {
                // All pawns on one wing: the king standing there (white looked at first).
                const U64 wing = (pawns & KING_WING) ? KING_WING : QUEEN_WING;
                if (bit(wk) & wing)
                    w = weights.kingPawnWing;
                else if (bit(bk) & wing)
                    b = weights.kingPawnWing;
            }
        }
    }
    if (halves) *halves = {w, b};
    return w - b;
}

KingReach computeKingReach(const Board& board, const EvalInfo& info) {
    KingReach reach{};
    const U64 attackedBy[2] = {info.allAttacks(W), info.allAttacks(B)};
    U64 forbidden[2];
    for (int c = W; c <= B; ++c)
        forbidden[c] = attackedBy[1 - c] | (board.colourBB[c] & ~board.pieceBB[KING][c]);

    reach.region[W] = bit(board.kingSq[W] & 63);
    reach.region[B] = bit(board.kingSq[B] & 63);
    bool settled[2] = {false, false};
    int side = board.toMove == WHITE ? W : B;
    while (!(settled[W] && settled[B]) && reach.turns < KING_REACH_MAX_TURNS) {
        const U64 base = reach.region[side] & ~forbidden[side] & ~reach.region[1 - side];
        const U64 grown = base | kingSteps(base);
        if (grown == reach.region[side])
            settled[side] = true;
        else
            reach.region[side] = grown;
        side ^= 1;
        ++reach.turns;
    }

    for (int c = W; c <= B; ++c) reach.usable[c] = reach.region[c] & ~attackedBy[1 - c];
    for (int c = W; c <= B; ++c)
        reach.pawns[c] =
            popcount(board.pieceBB[PAWN][1 - c] & reach.usable[c] & ~reach.usable[1 - c]);
    return reach;
}

} // namespace eval
