// The evaluation's process-wide state, and a breakdown of one evaluation into
// its terms for the developer tools. The breakdown is filled by the same code
// that computes the score, so it always shows what evaluate() did.
#pragma once

#include "eval/evalinfo.h"

class EvalHash;

// Positional part (score minus material) of this process's latest full evaluation.
extern int lastPositional;

namespace eval {

// The evaluation hash registered by initEvaluation (nullptr: none).
EvalHash* evaluationHash();

// Halves are each side's own share (good for that side positive); the
// white-minded term is white - black. Terms outside their phase stay 0 and
// their flag is false.
struct EvalTrace {
    bool lazyCut = false;
    bool hashHit = false;
    int material = 0; // the board's lazy balance
    bool opening = false;
    Halves development, castling;
    Halves blockedCentre;
    int minorImbalance = 0;
    bool shelterPhase = false;
    int shelterValue[2] = {0, 0}; // shelter count used per side (0..9)
    Halves shelter;
    bool knightOnlyPhase = false;
    Halves knightOnly;
    Halves pawns, kingPlacement, knights, bishops, rooks, queens;
    bool kingReachPhase = false;
    U64 reachRegion[2] = {0, 0}; // each king's flooded region
    U64 reachUsable[2] = {0, 0}; // the region without the squares the enemy attacks
    int reachPawns[2] = {0, 0};  // enemy pawns only that side's king reaches
    int kingReachTurns = 0;
    int kingReach = 0;
    U64 passedPawns = 0, candidatePawns = 0;
    Halves passed; // each side's result before the material scaling
    int passedTotal = 0;
    Halves candidates;
    int candidateTotal = 0;
    int dangerIndex[2] = {0, 0}; // index into the danger table, before clamping
    int kingAttackCount[2] = {0, 0};
    Halves kingDanger;  // each side's penalty (negative is bad for that side)
    int whiteScore = 0; // white-minded total before damping
    int result = 0;     // what evaluate returned
};

// evaluate() with the breakdown written to trace.
int evaluateTraced(Board& board, int alpha, int beta, EvalTrace& trace);

} // namespace eval
