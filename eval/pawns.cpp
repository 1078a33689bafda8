#include "eval/pawns.h"

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/tables.h"
#include "eval/params.h"

namespace eval {
namespace {

// Squares attacked by two pawns of colour c.
U64 doublePawnAttacks(int c, U64 pawns) {
    return pawnAttacksLeft(c, pawns) & pawnAttacksRight(c, pawns);
}

// Backward pawns of colour c: pawns without pawn support that cannot
// advance safely and that no own pawn can come to defend by a safe advance.
int backwardPawns(const Board& board, const EvalInfo& info, int c) {
    const int o = 1 - c;
    const U64 own = board.pieceBB[PAWN][c];
    const U64 opp = board.pieceBB[PAWN][o];
    const U64 ownTwice = doublePawnAttacks(c, own);
    const U64 oppTwice = doublePawnAttacks(o, opp);
    const U64 ownControl = (info.attacks[PAWN][c] & ~oppTwice) | ownTwice;
    const U64 oppControl = (info.attacks[PAWN][o] & ~ownTwice) | oppTwice;

    const U64 stops = forward(c, own);
    const U64 between = forward(c, own & relativeRank(c, 1)); // rank-2 pawns, one step
    const U64 doubles = forward(c, between);

    // Pawns that need help: undefended and unable to step to a square that is
    // free of enemy pawns and under own control...
    U64 candidates = own & ~info.attacks[PAWN][c] & ~backward(c, stops & ~opp & ownControl);
    // ...unless a rank-2 pawn can make the double step to a controlled square.
    const U64 freeDouble = doubles & ownControl & ~opp & forward(c, between & ~opp);
    candidates &= ~backward(c, backward(c, freeDouble));

    // Squares own pawns can advance to without being taken by a pawn.
    const U64 safeBetween = between & ~opp & ~oppControl;
    const U64 safe = (stops & ~opp & ~oppControl) | (forward(c, safeBetween) & ~opp & ~oppControl);
    const U64 backwardSet = candidates & ~pawnAttackSet(c, safe);
    if (!backwardSet) return 0;

    const int f = board.totalMat;
    const int i = initialMaterial;
    int amount = divide(popcount(backwardSet) * weights.backwardPenalty * f, i);
    amount += divide(popcount(backwardSet & ~filesOf(opp)) * weights.backwardOpenFile * f, i);
    amount += divide(popcount(backwardSet & FILES_C_TO_F) * weights.backwardCentre * f, i);
    return amount;
}

// Piece-square values, isolated and doubled pawns of colour c, from c's view;
// marks c's passed pawns and candidate passers.
int pawnPlacement(const Board& board, int c, U64& passed, U64& candidates) {
    const int o = 1 - c;
    const int tc = tableColour(c);
    const int sign = c == W ? 1 : -1;
    const U64 own = board.pieceBB[PAWN][c];
    const U64 opp = board.pieceBB[PAWN][o];
    int amount = 0;
    for (U64 rest = own; rest;) {
        const int sq = popHighest(rest);
        amount += sign * pieceSquare[tc][PAWN][sq];
        if (!(own & adjacentFiles[sq])) amount += weights.ISOLATEDPAWNPENALTY;
        if (own & frontSpan[tc][sq]) amount += weights.DOUBLEPAWNPENALTY;
        if (opp & frontSpan[tc][sq]) continue;
        const U64 stoppers = opp & passedMask[tc][sq];
        if (!stoppers) {
            passed |= bit(sq);
            continue;
        }
        // One enemy pawn on one neighbouring file ahead, an own pawn beside
        // or behind to support the advance, and the pawn past its fourth rank.
        const bool oneSide =
            !(stoppers & ~sideFileSpan[0][tc][sq]) || !(stoppers & ~sideFileSpan[1][tc][sq]);
        if (oneSide && popcount(stoppers) == 1 && (own & pawnNeighbours[tc][sq]) &&
            relativeRankOf(c, sq) >= 3)
            candidates |= bit(sq);
    }
    return amount;
}

int candidatesOf(const Board& board, int c, U64 passed, U64 candidates) {
    const int o = tableColour(1 - c); // pieceCount row of the defender
    const bool noQueen = board.pieceCount[o][QUEEN] == 0;
    const bool noPieces =
        noQueen && board.pieceCount[o][ROOK] == 0 && board.pieceCount[o][BISHOP] == 0 && !passed;
    int amount = 0;
    for (U64 rest = candidates & board.pieceBB[PAWN][c]; rest;) {
        const int sq = popHighest(rest);
        int v = (relativeRankOf(c, sq) - 2) * weights.HPPBONUS;
        if (noQueen) {
            v = v * weights.candidateNoQueen / 4;
            if (noPieces) v = v * weights.candidateNoPieces / 4;
        }
        amount += v;
    }
    return amount;
}

// The passed-pawn result of colour c from its own view, before the scaling by
// material: half of (the sum plus the best single pawn).
int passedOf(const Board& board, int c, U64 passed, U64 defenderRegion) {
    const int o = 1 - c;
    const int tc = tableColour(c);
    const int oc = tableColour(o);
    const U64 own = board.pieceBB[PAWN][c];
    const U64 ownPassed = passed & own;
    const int ownKing = board.kingSq[c] & 63;
    const int oppKing = board.kingSq[o] & 63;
    const bool oppQueen = board.pieceCount[oc][QUEEN] != 0;
    const int oppRooks = board.pieceCount[oc][ROOK];
    const bool oppBishop = board.pieceCount[oc][BISHOP] != 0;
    const bool ownMove = (board.toMove == WHITE) == (c == W);
    // outsideSquare flags: [0] black pawn d > m, [1] white pawn d - 1 > m,
    // [2] black pawn d - 1 > m, [3] white pawn d > m. With the defender to
    // move its king has one step in hand.
    const int flag = c == W ? (ownMove ? 3 : 1) : (ownMove ? 0 : 2);

    int sum = 0;
    int best = 0;
    for (U64 rest = ownPassed; rest;) {
        const int sq = popHighest(rest);
        if (ownPassed & frontSpan[tc][sq]) continue; // only the front pawn of a file
        const int r = relativeRankOf(c, sq);
        int v = r * r * weights.passedRankSquare / 10 + r * weights.passedRankLinear / 10 +
                weights.passedBase;

        const int stop = sq + forwardStep(c);
        if (stop >= 0 && stop < 64) {
            if (board.colourBB[o] & bit(stop))
                v += weights.passedBlocked;
            else if (!isSquareAttacked(board, stop, c == W ? WHITE : BLACK))
                v += weights.passedFreeStop;
        }
        const U64 supporters = own & pawnNeighbours[tc][sq];
        if (supporters) {
            v += weights.passedSupported;
            if (supporters & passed) v += weights.passedSupportedByPassed;
        }

        if (outsideSquare[sq][oppKing][flag]) {
            int u = weights.passedUnstoppable;
            if (!oppQueen && oppRooks == 0) {
                u = u * weights.unstoppableNoHeavy / 4;
                if (!oppBishop) u = u * weights.unstoppableNoBishop / 4;
            }
            v += u;
        } else if (!(frontSpan[tc][sq] & defenderRegion) && !oppQueen && oppRooks < 2) {
            int u = weights.passedKingFar;
            if (oppRooks == 0) {
                u = u * weights.kingFarNoRook / 4;
                if (!oppBishop) u = u * weights.kingFarNoBishop / 4;
            }
            v += u;
        }

        const int w = (8 - distance[ownKing][sq] + distance[oppKing][sq]) * v / 8;
        sum += w;
        if (w > best) best = w;
    }
    return (best + sum) / 2;
}

} // namespace

int evaluatePawns(const Board& board, EvalInfo& info, U64& passed, U64& candidates,
                  Halves* halves) {
    const U64 white = board.pieceBB[PAWN][W];
    const U64 black = board.pieceBB[PAWN][B];
    info.attacks[PAWN][W] |= pawnAttackSet(W, white);
    info.attacks[PAWN][B] |= pawnAttackSet(B, black);

    int w = 0, b = 0;
    if (board.totalMat > 20 * material.pawn) {
        w += backwardPawns(board, info, W);
        b += backwardPawns(board, info, B);
    }
    w += pawnPlacement(board, W, passed, candidates);
    b += pawnPlacement(board, B, passed, candidates);
    if (halves) *halves = {w, b};
    return w - b;
}

int evaluateCandidates(const Board& board, U64 passed, U64 candidates, Halves* halves) {
    const int w = candidatesOf(board, W, passed, candidates);
    const int b = candidatesOf(board, B, passed, candidates);
    if (halves) *halves = {w, b};
    return w - b;
}

int evaluatePassed(const Board& board, U64 passed, U64 whiteRegion, U64 blackRegion,
                   Halves* halves) {
    const int w = passedOf(board, W, passed, blackRegion);
    const int b = passedOf(board, B, passed, whiteRegion);
    if (halves) *halves = {w, b};
    const int twice = 2 * initialMaterial;
    return divide((w - b) * (twice - board.totalMat), twice);
}

} // namespace eval
