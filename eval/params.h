// Every weight of the evaluation, as process-wide integers in one place. The
// tuner changes them between runs (through tunedParameters), nothing else
// writes them. Defaults are the hand-tuned values the engine ships with.
#pragma once

#include <cstddef>

namespace eval {

// Driver: lazy cut-off, opening, imbalance, shelter, endgame and king danger.
extern int lazyMargin;          // 175
extern int developmentWeight;   // per undeveloped minor piece (opening)
extern int uncastledPenalty;    // counted three times for an uncastled side
extern int blockedCentrePawn;   // d/e pawn on its start square, blocked
extern int minorImbalanceBig;   // minor-piece difference of three
extern int minorImbalanceSmall; // difference of one or two
extern int rookImbalance;       // per rook of difference with equal minors and queens
extern int shelterWeight;
extern int knightOnlyPenalty; // times four, endgame side without long-range pieces
extern int kingReachWeight;
extern int shelterDangerWeight;
extern int MAX_TROPISM_PENALTY; // stored negative: the king-danger scale
extern int dangerShiftQueen;
extern int dangerShiftRook;
extern int dangerShiftBishop;
inline constexpr int DANGER_TABLE_SIZE = 51;
extern int kingDangerTable[DANGER_TABLE_SIZE];

// Pawn structure and passed pawns.
extern int ISOLATEDPAWNPENALTY; // stored negative; added for each isolated pawn
extern int DOUBLEPAWNPENALTY;   // stored negative; added for each rear doubled pawn
extern int backwardPenalty;
extern int backwardOpenFile;
extern int backwardCentre;
extern int HPPBONUS;
extern int candidateNoQueen;  // quarters
extern int candidateNoPieces; // quarters
extern int passedRankSquare;
extern int passedRankLinear;
extern int passedBase;
extern int passedBlocked;
extern int passedFreeStop;
extern int passedSupported;
extern int passedSupportedByPassed;
extern int passedUnstoppable;
extern int unstoppableNoHeavy;  // quarters
extern int unstoppableNoBishop; // quarters
extern int passedKingFar;
extern int kingFarNoRook;   // quarters
extern int kingFarNoBishop; // quarters

// Pieces and king placement.
extern int knightEndgame;
extern int outpostBonus;
extern int outpostCentre;
extern int bishopPair;
extern int bishopMobility;     // tenths per square beyond four
extern int bishopOwnPawns;     // quarters
extern int bishopBlockedPawns; // quarters
extern int bishopBadCentre;    // quarters
extern int bishopTargets;      // quarters
extern int bishopDefended;
extern int rookDoubled;
extern int rookOpenFile;
extern int rookHalfOpenFile;
extern int rookSeventh;
extern int rookSeventhDoubled;
extern int rookMobility;  // tenths per square beyond four
extern int queenMobility; // tenths per square beyond eight
extern int queenAlone;
extern int queenEarly;
extern int kingPawnWing;
extern int kingCentreWeight;

// King tropism: added to the attack count against the enemy king, by the
// king distance 0..7 of the piece; then raised for attacks next to the king
// and for reaching a safe checking square.
extern int knightTropism[8];
extern int bishopTropism[8];
extern int rookTropism[8];
extern int queenTropism[8];
extern int queenSafeCheck;
extern int rookSafeCheck;
extern int bishopSafeCheck;
extern int knightSafeCheck;
extern int bishopNextToKing;    // at least this when attacking a square next to the king
extern int rookNextToKing;      // becomes this
extern int queenNextToKing;     // at least this
extern int rookOpenFileTropism; // at least this on a file without own pawns

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
void resetEvaluationParameters();

} // namespace eval
