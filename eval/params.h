// Every weight of the evaluation in one process-wide record. The tuner
// changes them between runs (through tunedParameters), nothing else writes
// them.
#pragma once

#include <cstddef>

namespace eval {

inline constexpr int DANGER_TABLE_SIZE = 51;

// Every weight with its default, the hand-tuned value the engine ships with.
struct EvalWeights {
    // Driver: lazy cut-off, opening, imbalance, shelter, endgame and king danger.
    int lazyMargin = 175;
    int developmentWeight = 0;    // per undeveloped minor piece (opening)
    int uncastledPenalty = -2;    // counted three times for an uncastled side
    int blockedCentrePawn = -12;  // d/e pawn on its start square, blocked
    int minorImbalanceBig = 71;   // minor-piece difference of three
    int minorImbalanceSmall = 40; // difference of one or two
    int rookImbalance = -44;      // per rook of difference with equal minors and queens
    int shelterWeight = 2;
    int knightOnlyPenalty = -3; // times four, endgame side without long-range pieces
    int kingReachWeight = 11;
    int shelterDangerWeight = 8;
    int MAX_TROPISM_PENALTY = -29; // stored negative: the king-danger scale
    int dangerShiftQueen = 2;
    int dangerShiftRook = 1;
    int dangerShiftBishop = 3;
    int kingDangerTable[DANGER_TABLE_SIZE] = {0,  0,  1,  1,  1,  2,  2,  3,  3,  4,  5,   7,  9,
                                              11, 13, 15, 18, 21, 24, 27, 30, 34, 38, 42,  46, 50,
                                              54, 58, 62, 66, 70, 73, 76, 79, 82, 85, 87,  89, 91,
                                              93, 95, 96, 97, 97, 98, 98, 99, 99, 99, 100, 100};

    // Pawn structure and passed pawns.
    int ISOLATEDPAWNPENALTY = -1; // stored negative; added for each isolated pawn
    int DOUBLEPAWNPENALTY = -17;  // stored negative; added for each rear doubled pawn
    int backwardPenalty = -2;
    int backwardOpenFile = -27;
    int backwardCentre = -8;
    int HPPBONUS = 6;
    int candidateNoQueen = 6;  // quarters
    int candidateNoPieces = 6; // quarters
    int passedRankSquare = 56;
    int passedRankLinear = -8;
    int passedBase = -56;
    int passedBlocked = -11;
    int passedFreeStop = 16;
    int passedSupported = 5;
    int passedSupportedByPassed = 6;
    int passedUnstoppable = 23;
    int unstoppableNoHeavy = 4;   // quarters
    int unstoppableNoBishop = 24; // quarters
    int passedKingFar = 17;
    int kingFarNoRook = 12;  // quarters
    int kingFarNoBishop = 8; // quarters

    // Pieces and king placement.
    int knightEndgame = -4;
    int outpostBonus = 9;
    int outpostCentre = 8;
    int bishopPair = 40;
    int bishopMobility = 21;      // tenths per square beyond four
    int bishopOwnPawns = -7;      // quarters
    int bishopBlockedPawns = -13; // quarters
    int bishopBadCentre = -23;    // quarters
    int bishopTargets = 5;        // quarters
    int bishopDefended = 3;
    int rookDoubled = 9;
    int rookOpenFile = 11;
    int rookHalfOpenFile = 9;
    int rookSeventh = 28;
    int rookSeventhDoubled = -5;
    int rookMobility = 15;  // tenths per square beyond four
    int queenMobility = -4; // tenths per square beyond eight
    int queenAlone = 48;
    int queenEarly = -6;
    int kingPawnWing = 14;
    int kingCentreWeight = 9;

    // King tropism: added to the attack count against the enemy king, by the
    // king distance 0..7 of the piece; then raised for attacks next to the king
    // and for reaching a safe checking square.
    int knightTropism[8] = {0, 7, 10, 7, 2, 0, 0, 0};
    int bishopTropism[8] = {0, 7, 1, 4, 3, 1, 0, 0};
    int rookTropism[8] = {0, 3, 1, 1, 1, 0, 0, 0};
    int queenTropism[8] = {0, 22, 9, 1, 1, 0, 0, 0};
    int queenSafeCheck = 6;
    int rookSafeCheck = 9;
    int bishopSafeCheck = 8;
    int knightSafeCheck = 3;
    int bishopNextToKing = 7;    // at least this when attacking a square next to the king
    int rookNextToKing = 3;      // becomes this
    int queenNextToKing = 1;     // at least this
    int rookOpenFileTropism = 1; // at least this on a file without own pawns
};

// The weights in use. Only the tuner writes them, between runs.
extern EvalWeights weights;

// Endgame king centralisation by square, 8 x 8 (edge ring -1 .. centre 2).
extern const int kingCentre[64];

// The parameters the tuner varies, in its fixed order.
struct TunedParameter {
    const char* name;
    int* value;
};
inline constexpr std::size_t TUNED_PARAMETER_COUNT = 80;
extern const TunedParameter tunedParameters[TUNED_PARAMETER_COUNT];

// Puts every weight back to its default (the piece-square sources are the
// board's and are not touched).
inline void resetEvaluationParameters() {
    weights = EvalWeights{};
}

} // namespace eval
