// The evaluation driver: lazy cut-off, the evaluation hash, and the sum of
// every term in a fixed order (later terms read what earlier ones recorded).
#include "eval/evaluate.h"

#include "board/bitboard.h"
#include "board/tables.h"
#include "eval/evalhash.h"
#include "eval/king.h"
#include "eval/params.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "eval/trace.h"

int lastPositional = 0;

namespace eval {
namespace {

EvalHash* hashTable = nullptr;

// The fifty-move rule draws near: from the 51st quiet ply on, the score
// shrinks linearly to zero at ply 100 (a position read with a larger clock
// counts as ply 100, so the result stays between the bounds).
inline int damp(int score, int halfmoveClock) {
    if (halfmoveClock < 51) return score;
    return halfmoveClock >= 100 ? 0 : score * (100 - halfmoveClock) / 50;
}

// Castled formation of colour c: king on a1-c1 with a rook on c1 or d1, or on
// g1-h1 with a rook on e1 or f1 (rank 8 for black).
bool castled(const Board& board, int c) {
    const int shift = c == W ? 0 : 56;
    const U64 king = board.pieceBB[KING][c] >> shift & 0xFF;
    const U64 rooks = board.pieceBB[ROOK][c] >> shift & 0xFF;
    return ((king & 0xE0) && (rooks & 0x30)) || ((king & 0x03) && (rooks & 0x0C));
}

// d- and e-pawn of colour c on their start squares with the square ahead taken.
int blockedCentre(const Board& board, int c) {
    const U64 pawns = board.pieceBB[PAWN][c] & relativeRank(c, 1) & (FILE_H << 3 | FILE_H << 4);
    return popcount(pawns & backward(c, board.occupied)) * weights.blockedCentrePawn;
}

int minorImbalanceTerm(const Board& board) {
    const auto& count = board.pieceCount; // [0 black, 1 white]
    const int d = (count[1][KNIGHT] + count[1][BISHOP]) - (count[0][KNIGHT] + count[0][BISHOP]);
    const int wQ = count[1][QUEEN], bQ = count[0][QUEEN];
    const int wR = count[1][ROOK], bR = count[0][ROOK];
    switch (d) {
    case -3:
        if ((wQ <= bQ + 1 && wR == bR) || (wQ == bQ && wR <= bR + 2))
            return -((9 - wQ - wR) * weights.minorImbalanceBig / 9);
        return 0;
    case -2:
        if (wQ <= bQ && wR <= bR + 1) return -((9 - wQ - wR) * weights.minorImbalanceSmall / 9);
        return 0;
    case -1:
        if (wQ <= bQ && wR <= bR && board.pieceBB[PAWN][B])
            return -((9 - wQ - wR) * weights.minorImbalanceSmall / 9);
        return 0;
    case 0:
        return wQ == bQ && wR != bR ? (wR - bR) * weights.rookImbalance : 0;
    case 1:
        if (bQ <= wQ && bR <= wR && board.pieceBB[PAWN][W])
            return (9 - bQ - bR) * weights.minorImbalanceSmall / 9;
        return 0;
    case 2:
        if (bQ <= wQ && bR <= wR + 1) return (9 - bQ - bR) * weights.minorImbalanceSmall / 9;
        return 0;
    case 3:
        if ((bQ <= wQ + 1 && bR == wR) || (bQ == wQ && bR <= wR + 2))
            return (9 - bQ - bR) * weights.minorImbalanceBig / 9;
        return 0;
    default:
        return 0;
    }
}

// The shelter of colour c and its weight by game phase, from c's view. While
// a castling right is held the better of the two castled squares counts and
// fades faster as material leaves.
int shelterTerm(const Board& board, int c, int& shelterValue) {
    const int rights = board.castle >> (c == W ? 0 : 2) & 3;
    const int home = c == W ? 0 : 56;
    const int total = board.totalMat;
    const int span = initialMaterial - 6000;
    if (rights) {
        int s = 0;
        if (rights & 1) s = shelter(board, c, home + 1); // g1 / g8
        if (rights & 2) {
            const int queenSide = shelter(board, c, home + 6); // b1 / b8
            if (queenSide > s) s = queenSide;
        }
        shelterValue = s;
        return divide(weights.shelterWeight * s * (2 * total - 12000) / 3, span);
    }
    shelterValue = shelter(board, c, board.kingSq[c] & 63);
    return divide(weights.shelterWeight * shelterValue * (total - 6000), span);
}

// The king-danger penalty (zero or negative, from the king's side's view) for
// an index of missing shelter plus attack count; the table ends at 50.
int dangerPenalty(int index) {
    if (index < 0) return 0;
    if (index < DANGER_TABLE_SIZE)
        return weights.kingDangerTable[index] * weights.MAX_TROPISM_PENALTY / 10;
    return 10 * weights.MAX_TROPISM_PENALTY;
}

template <bool Traced> int evaluateImpl(Board& board, int alpha, int beta, EvalTrace* trace) {
    const int lazy = board.lazy;
    const int side = board.toMove;
    const int margin = weights.lazyMargin;
    const int fromLast = (lazy + lastPositional) * side;
    const int fromBoard = (lazy + board.positional) * side;
    if (fromLast + margin < alpha && fromBoard + margin < alpha) {
        if constexpr (Traced) trace->lazyCut = true, trace->result = alpha;
        return alpha;
    }
    if (fromLast - margin > beta && fromBoard - margin > beta) {
        if constexpr (Traced) trace->lazyCut = true, trace->result = beta;
        return beta;
    }

    if (hashTable && hashTable->usable()) {
        const std::int32_t stored = hashTable->probe(board.boardkey);
        if (stored != TT_NO_CUTOFF) {
            const int score = static_cast<std::int16_t>(stored & 0xFFFF);
            const int result = side * damp(score, board.halfmoveClock);
            if constexpr (Traced) {
                trace->hashHit = true;
                trace->whiteScore = score;
                trace->result = result;
            }
            return result;
        }
    }

    const int pawn = material.pawn;
    const int total = board.totalMat;
    int score = lazy;

    if (total > 70 * pawn) {
        Halves development{
            weights.developmentWeight *
                popcount((board.pieceBB[KNIGHT][W] | board.pieceBB[BISHOP][W]) & RANK_1),
            weights.developmentWeight *
                popcount((board.pieceBB[KNIGHT][B] | board.pieceBB[BISHOP][B]) & RANK_8)};
        Halves castling{castled(board, W) ? 0 : 3 * weights.uncastledPenalty,
                        castled(board, B) ? 0 : 3 * weights.uncastledPenalty};
        score += development.white - development.black + castling.white - castling.black;
        if constexpr (Traced) {
            trace->opening = true;
            trace->development = development;
            trace->castling = castling;
        }
    }

    const Halves blocked{blockedCentre(board, W), blockedCentre(board, B)};
    score += blocked.white - blocked.black;

    const int imbalance = minorImbalanceTerm(board);
    score += imbalance;

    int shelterValue[2] = {0, 0};
    int dangerBase[2] = {9, 9};
    if (total > 60 * pawn) {
        const Halves blend{shelterTerm(board, W, shelterValue[W]),
                           shelterTerm(board, B, shelterValue[B])};
        score += blend.white - blend.black;
        dangerBase[W] = 9 - shelterValue[W];
        dangerBase[B] = 9 - shelterValue[B];
        if constexpr (Traced) {
            trace->shelterPhase = true;
            trace->shelterValue[W] = shelterValue[W];
            trace->shelterValue[B] = shelterValue[B];
            trace->shelter = blend;
        }
    }

    const auto& count = board.pieceCount; // [0 black, 1 white]
    if (total <= 40 * pawn) {
        const U64 pawns = board.pieceBB[PAWN][W] | board.pieceBB[PAWN][B];
        Halves knightOnly;
        if ((pawns & (FILE_A | FILE_B)) && (pawns & (FILE_G | FILE_H))) {
            if (!count[1][BISHOP] && !count[1][ROOK] && !count[1][QUEEN])
                knightOnly.white = 4 * weights.knightOnlyPenalty;
            if (!count[0][BISHOP] && !count[0][ROOK] && !count[0][QUEEN])
                knightOnly.black = 4 * weights.knightOnlyPenalty;
        }
        score += knightOnly.white - knightOnly.black;
        if constexpr (Traced) trace->knightOnlyPhase = true, trace->knightOnly = knightOnly;
    }

    EvalInfo info{};
    U64 passed = 0, candidates = 0;
    int against[2] = {0, 0}; // king-attack counts against the white and the black king
    Halves* const noHalves = nullptr;
    score += evaluatePawns(board, info, passed, candidates, Traced ? &trace->pawns : noHalves);
    score += evaluateKingPlacement(board, info, Traced ? &trace->kingPlacement : noHalves);
    if (board.pieceBB[KNIGHT][W] | board.pieceBB[KNIGHT][B])
        score += evaluateKnights(board, info, against[W], against[B],
                                 Traced ? &trace->knights : noHalves);
    if (board.pieceBB[BISHOP][W] | board.pieceBB[BISHOP][B])
        score += evaluateBishops(board, info, against[W], against[B],
                                 Traced ? &trace->bishops : noHalves);
    if (board.pieceBB[ROOK][W] | board.pieceBB[ROOK][B])
        score +=
            evaluateRooks(board, info, against[W], against[B], Traced ? &trace->rooks : noHalves);
    if (board.pieceBB[QUEEN][W] | board.pieceBB[QUEEN][B])
        score +=
            evaluateQueens(board, info, against[W], against[B], Traced ? &trace->queens : noHalves);

    // The regions the passed-pawn term asks whether a king can catch a pawn
    // with: flooded in the endgame, otherwise just each king's own square.
    U64 region[2] = {bit(board.kingSq[W] & 63), bit(board.kingSq[B] & 63)};
    if (total < 40 * pawn) {
        const KingReach reach = computeKingReach(board, info);
        region[W] = reach.usable[W];
        region[B] = reach.usable[B];
        const int term = divide(weights.kingReachWeight * (reach.pawns[W] - reach.pawns[B]) *
                                    (50 * pawn - total),
                                50 * pawn);
        score += term;
        if constexpr (Traced) {
            trace->kingReachPhase = true;
            for (int c = W; c <= B; ++c) {
                trace->reachRegion[c] = reach.region[c];
                trace->reachUsable[c] = reach.usable[c];
            }
            trace->reachPawns[W] = reach.pawns[W];
            trace->reachPawns[B] = reach.pawns[B];
            trace->kingReachTurns = reach.turns;
            trace->kingReach = term;
        }
    }

    if (passed) {
        const int term =
            evaluatePassed(board, passed, region[W], region[B], Traced ? &trace->passed : noHalves);
        score += term;
        if constexpr (Traced) trace->passedTotal = term;
    }
    if (candidates) {
        const int term =
            evaluateCandidates(board, passed, candidates, Traced ? &trace->candidates : noHalves);
        score += term;
        if constexpr (Traced) trace->candidateTotal = term;
    }

    // King danger. The penalty shrinks as the attacker's heavy pieces leave;
    // white's last shift needs black without queen and rook, black's also
    // needs white without bishops.
    const int index[2] = {dangerBase[W] * weights.shelterDangerWeight / 9 + against[W],
                          dangerBase[B] * weights.shelterDangerWeight / 9 + against[B]};
    int danger[2] = {dangerPenalty(index[W]), dangerPenalty(index[B])};
    if (!count[0][QUEEN]) {
        danger[W] = shiftDown(danger[W], weights.dangerShiftQueen);
        if (!count[0][ROOK]) {
            danger[W] = shiftDown(danger[W], weights.dangerShiftRook);
            danger[W] = shiftDown(danger[W], weights.dangerShiftBishop);
        }
    }
    if (!count[1][QUEEN]) {
        danger[B] = shiftDown(danger[B], weights.dangerShiftQueen);
        if (!count[1][ROOK]) {
            danger[B] = shiftDown(danger[B], weights.dangerShiftRook);
            if (!count[1][BISHOP]) danger[B] = shiftDown(danger[B], weights.dangerShiftBishop);
        }
    }
    score += danger[W] - danger[B];

    board.positional = score - lazy;
    lastPositional = score - lazy;
    if (hashTable && hashTable->usable()) hashTable->store(board.boardkey, score);

    const int result = side * damp(score, board.halfmoveClock);
    if constexpr (Traced) {
        trace->material = lazy;
        trace->blockedCentre = blocked;
        trace->minorImbalance = imbalance;
        trace->passedPawns = passed;
        trace->candidatePawns = candidates;
        for (int c = W; c <= B; ++c) {
            trace->dangerIndex[c] = index[c];
            trace->kingAttackCount[c] = against[c];
        }
        trace->kingDanger = {danger[W], danger[B]};
        trace->whiteScore = score;
        trace->result = result;
    }
    return result;
}

} // namespace

int evaluateTraced(Board& board, int alpha, int beta, EvalTrace& trace) {
    trace = EvalTrace{};
    trace.material = board.lazy;
    return evaluateImpl<true>(board, alpha, beta, &trace);
}

} // namespace eval

void initEvaluation(EvalHash* hash) {
    eval::hashTable = hash;
    setEvaluateHook(&evaluate);
}

int evaluate(Board& board, int alpha, int beta) {
    return eval::evaluateImpl<false>(board, alpha, beta, nullptr);
}
