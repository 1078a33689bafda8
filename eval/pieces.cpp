#include "eval/pieces.h"

#include "board/bitboard.h"
#include "board/tables.h"
#include "eval/params.h"

namespace eval {
namespace {

// c4-f4 and c5-f5, for both colours.
constexpr U64 CENTRE_OUTPOSTS = FILES_C_TO_F & ((RANK_1 << 24) | (RANK_1 << 32));
constexpr int QUEEN_HOME[2] = {4, 60}; // d1, d8

inline int sign(int c) {
    return c == W ? 1 : -1;
}

// An enemy pawn that can come to attack sq from the file on `side` (+1 toward
// the a-file, -1 toward the h-file): one standing two ranks ahead whose next
// square is empty and not covered by an own pawn, or, for a knight on the
// fourth rank, one on its start square with both squares of its double step so.
// A square off the board holds no pawn.
bool challengedFrom(const Board& board, const EvalInfo& info, int c, int sq, int side) {
    const int file = sq & 7; // 0 = h-file, 7 = a-file
    if (file + side < 0 || file + side > 7) return false;
    const int rank = relativeRankOf(c, sq);
    const int step = forwardStep(c);
    const U64 oppPawns = board.pieceBB[PAWN][1 - c];
    const U64 blocked = board.occupied | info.attacks[PAWN][c];
    const int near = sq + step + side; // the square from which the pawn attacks
    const int mid = near + step;
    if (rank + 2 > 7 || (blocked & bit(near))) return false;
    if (oppPawns & bit(mid)) return true;
    if (rank != 3 || (blocked & bit(mid))) return false;
    return (oppPawns & bit(mid + step)) != 0;
}

int knightsOf(const Board& board, EvalInfo& info, int c, int& againstEnemy) {
    const int o = 1 - c;
    const int tc = tableColour(c);
    const int enemyKing = board.kingSq[o] & 63;
    const int pawn = material.pawn;
    const int total = board.totalMat;
    int amount = 0;
    for (U64 rest = board.pieceBB[KNIGHT][c]; rest;) {
        const int sq = popHighest(rest);
        const U64 attacks = knightAttacks[sq];
        info.attacks[KNIGHT][c] |= attacks;
        int t = weights.knightTropism[distance[sq][enemyKing]];
        if (t < weights.knightSafeCheck && (attacks & knightAttacks[enemyKing]))
            t = weights.knightSafeCheck;
        againstEnemy += t;

        amount += sign(c) * pieceSquare[tc][KNIGHT][sq];
        if (total <= 40 * pawn)
            amount += divide((40 * pawn - total) * weights.knightEndgame, 10 * pawn);
        if ((info.attacks[PAWN][c] & bit(sq)) && total >= 30 * pawn &&
            isOutpost(board, info, c, sq)) {
            amount += weights.outpostBonus;
            if (CENTRE_OUTPOSTS & bit(sq)) amount += weights.outpostCentre;
        }
    }
    return amount;
}

int bishopsOf(const Board& board, EvalInfo& info, int c, int& againstEnemy) {
    const int o = 1 - c;
    const int tc = tableColour(c);
    const int enemyKing = board.kingSq[o] & 63;
    const U64 ownPawns = board.pieceBB[PAWN][c];
    const U64 oppPawns = board.pieceBB[PAWN][o];
    // Own pawns with an enemy piece right in front; enemy pawns with an own
    // piece right in front of them.
    const U64 ownBlocked = ownPawns & backward(c, board.colourBB[o]);
    const U64 oppBlocked = oppPawns & forward(c, board.colourBB[c]);
    const U64 unsafe = info.attacks[PAWN][o];
    const bool endgame = board.totalMat <= 40 * material.pawn;
    int amount = 0;
    for (U64 rest = board.pieceBB[BISHOP][c]; rest;) {
        const int sq = popHighest(rest);
        const U64 attacks = bishopXray(board, c, sq);
        info.attacks[BISHOP][c] |= attacks;
        int t = weights.bishopTropism[distance[sq][enemyKing]];
        if ((attacks & kingAttacks[enemyKing]) && t < weights.bishopNextToKing)
            t = weights.bishopNextToKing;
        if (t < weights.bishopSafeCheck && (attacks & info.bishopChecks[o] & ~unsafe))
            t = weights.bishopSafeCheck;
        againstEnemy += t;

        const U64 colour = sameColourSquares[sq];
        amount += sign(c) * pieceSquare[tc][BISHOP][sq];
        amount += (popcount(attacks) - 4) * weights.bishopMobility / 10;
        amount += popcount(ownPawns & colour) * weights.bishopOwnPawns / 4;
        amount += popcount(ownBlocked & colour) * weights.bishopBlockedPawns / 4;
        amount += popcount(ownBlocked & FILES_C_TO_F & attacks) * weights.bishopBadCentre / 4;
        if (info.attacks[PAWN][c] & bit(sq)) amount += weights.bishopDefended;
        if (endgame) amount += popcount(oppBlocked & colour) * weights.bishopTargets / 4;
    }
    return amount;
}

int rooksOf(const Board& board, EvalInfo& info, int c, int& againstEnemy) {
    const int o = 1 - c;
    const int tc = tableColour(c);
    const int enemyKing = board.kingSq[o] & 63;
    const U64 ownPawns = board.pieceBB[PAWN][c];
    const U64 oppPawns = board.pieceBB[PAWN][o];
    const U64 ownRooks = board.pieceBB[ROOK][c];
    const U64 seventh = relativeRank(c, 6);
    const bool seventhMatters = (bit(enemyKing) & relativeRank(c, 7)) || (oppPawns & seventh);
    const U64 unsafe = info.attacks[PAWN][o] | info.attacks[KNIGHT][o] | info.attacks[BISHOP][o];
    int amount = 0;
    for (U64 rest = ownRooks; rest;) {
        const int sq = popHighest(rest);
        const U64 attacks = rookXray(board, c, sq);
        info.attacks[ROOK][c] |= attacks;
        amount += sign(c) * pieceSquare[tc][ROOK][sq];

        const U64 file = FILE_H << (sq & 7);
        const bool noOwnPawns = !(ownPawns & file);
        if (noOwnPawns) {
            if (ownRooks & frontSpan[tc][sq]) amount += weights.rookDoubled;
            amount += (oppPawns & file) ? weights.rookHalfOpenFile : weights.rookOpenFile;
        }

        int t = weights.rookTropism[distance[sq][enemyKing]];
        if (attacks & kingAttacks[enemyKing]) t = weights.rookNextToKing;
        if (noOwnPawns && t < weights.rookOpenFileTropism) t = weights.rookOpenFileTropism;
        if (t < weights.rookSafeCheck && (attacks & info.rookChecks[o] & ~unsafe))
            t = weights.rookSafeCheck;
        againstEnemy += t;

        if ((bit(sq) & seventh) && seventhMatters) {
            amount += weights.rookSeventh;
            const U64 partners = (ownRooks | board.pieceBB[QUEEN][c]) & seventh;
            if (rookAttacks(board.occupied, sq) & partners) amount += weights.rookSeventhDoubled;
        }
        amount += (popcount(attacks) - 4) * weights.rookMobility / 10;
    }
    return amount;
}

int queensOf(const Board& board, EvalInfo& info, int c, int& againstEnemy) {
    const int o = 1 - c;
    const int tc = tableColour(c);
    const int enemyKing = board.kingSq[o] & 63;
    const int pawn = material.pawn;
    const int total = board.totalMat;
    const U64 unsafe = info.attacks[PAWN][o] | info.attacks[KNIGHT][o] | info.attacks[BISHOP][o] |
                       info.attacks[ROOK][o];
    const U64 checks = info.bishopChecks[o] | info.rookChecks[o];
    const U64 ownQueens = board.pieceBB[QUEEN][c];
    const int undeveloped =
        popcount((board.pieceBB[KNIGHT][c] | board.pieceBB[BISHOP][c]) & relativeRank(c, 0));
    const bool enemyHasQueen = board.pieceCount[tableColour(o)][QUEEN] != 0;
    int amount = 0;
    for (U64 rest = ownQueens; rest;) {
        const int sq = popHighest(rest);
        const U64 attacks = queenXray(board, c, sq);
        info.attacks[QUEEN][c] |= attacks;
        int t = weights.queenTropism[distance[sq][enemyKing]];
        if ((attacks & kingAttacks[enemyKing]) && t < weights.queenNextToKing)
            t = weights.queenNextToKing;
        if (t < weights.queenSafeCheck && (attacks & checks & ~unsafe)) t = weights.queenSafeCheck;
        againstEnemy += t;

        amount += sign(c) * pieceSquare[tc][QUEEN][sq];
        if (total >= 40 * pawn) amount += (popcount(attacks) - 8) * weights.queenMobility / 10;
        if (total >= 65 * pawn && !(ownQueens & bit(QUEEN_HOME[c])))
            amount += undeveloped * weights.queenEarly;
        if (!enemyHasQueen) amount += divide((78 * pawn - total) * weights.queenAlone, 78 * pawn);
    }
    return amount;
}

} // namespace

U64 bishopXray(const Board& board, int c, int sq) {
    const U64 through = board.pieceBB[BISHOP][c] | board.pieceBB[QUEEN][c];
    return bishopAttacks(board.occupied & ~through, sq);
}

U64 rookXray(const Board& board, int c, int sq) {
    const U64 through = board.pieceBB[ROOK][c] | board.pieceBB[QUEEN][c];
    return rookAttacks(board.occupied & ~through, sq);
}

U64 queenXray(const Board& board, int c, int sq) {
    return rookAttacks(board.occupied & ~board.pieceBB[ROOK][c], sq) |
           bishopAttacks(board.occupied & ~board.pieceBB[BISHOP][c], sq);
}

bool isOutpost(const Board& board, const EvalInfo& info, int c, int sq) {
    if (challengedFrom(board, info, c, sq, +1) || challengedFrom(board, info, c, sq, -1))
        return false;
    // A knight an enemy minor piece can exchange off needs a second pawn so
    // that the recapture keeps the square.
    const int o = 1 - c;
    const U64 diagonals = diagonalMask[0][sq] | diagonalMask[1][sq];
    if ((diagonals & board.pieceBB[BISHOP][o]) || (knightAttacks[sq] & board.pieceBB[KNIGHT][o]))
        return popcount(board.pieceBB[PAWN][c] & pawnAttackSet(o, bit(sq))) == 2;
    return true;
}

int evaluateKnights(const Board& board, EvalInfo& info, int& againstWhite, int& againstBlack,
                    Halves* halves) {
    const int w = knightsOf(board, info, W, againstBlack);
    const int b = knightsOf(board, info, B, againstWhite);
    if (halves) *halves = {w, b};
    return w - b;
}

int evaluateBishops(const Board& board, EvalInfo& info, int& againstWhite, int& againstBlack,
                    Halves* halves) {
    int w = 0, b = 0;
    // The pair counts only against a different number of bishops.
    const int whiteBishops = board.pieceCount[1][BISHOP];
    const int blackBishops = board.pieceCount[0][BISHOP];
    if (whiteBishops != blackBishops) {
        if (whiteBishops == 2)
            w += weights.bishopPair;
        else if (blackBishops == 2)
            b += weights.bishopPair;
    }
    w += bishopsOf(board, info, W, againstBlack);
    b += bishopsOf(board, info, B, againstWhite);
    if (halves) *halves = {w, b};
    return w - b;
}

int evaluateRooks(const Board& board, EvalInfo& info, int& againstWhite, int& againstBlack,
                  Halves* halves) {
    const int w = rooksOf(board, info, W, againstBlack);
    const int b = rooksOf(board, info, B, againstWhite);
    if (halves) *halves = {w, b};
    return w - b;
}

int evaluateQueens(const Board& board, EvalInfo& info, int& againstWhite, int& againstBlack,
                   Halves* halves) {
    const int w = queensOf(board, info, W, againstBlack);
    const int b = queensOf(board, info, B, againstWhite);
    if (halves) *halves = {w, b};
    return w - b;
}

} // namespace eval
