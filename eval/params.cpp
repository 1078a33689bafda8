#include "eval/params.h"

namespace eval {

int lazyMargin = 175;
int developmentWeight = 0;
int uncastledPenalty = -2;
int blockedCentrePawn = -12;
int minorImbalanceBig = 71;
int minorImbalanceSmall = 40;
int rookImbalance = -44;
int shelterWeight = 2;
int knightOnlyPenalty = -3;
int kingReachWeight = 11;
int shelterDangerWeight = 8;
int MAX_TROPISM_PENALTY = -29;
int dangerShiftQueen = 2;
int dangerShiftRook = 1;
int dangerShiftBishop = 3;
int kingDangerTable[DANGER_TABLE_SIZE] = {0,  0,  1,  1,  1,  2,  2,  3,  3,  4,  5,   7,  9,
                                          11, 13, 15, 18, 21, 24, 27, 30, 34, 38, 42,  46, 50,
                                          54, 58, 62, 66, 70, 73, 76, 79, 82, 85, 87,  89, 91,
                                          93, 95, 96, 97, 97, 98, 98, 99, 99, 99, 100, 100};

int ISOLATEDPAWNPENALTY = -1;
int DOUBLEPAWNPENALTY = -17;
int backwardPenalty = -2;
int backwardOpenFile = -27;
int backwardCentre = -8;
int HPPBONUS = 6;
int candidateNoQueen = 6;
int candidateNoPieces = 6;
int passedRankSquare = 56;
int passedRankLinear = -8;
int passedBase = -56;
int passedBlocked = -11;
int passedFreeStop = 16;
int passedSupported = 5;
int passedSupportedByPassed = 6;
int passedUnstoppable = 23;
int unstoppableNoHeavy = 4;
int unstoppableNoBishop = 24;
int passedKingFar = 17;
int kingFarNoRook = 12;
int kingFarNoBishop = 8;

int knightEndgame = -4;
int outpostBonus = 9;
int outpostCentre = 8;
int bishopPair = 40;
int bishopMobility = 21;
int bishopOwnPawns = -7;
int bishopBlockedPawns = -13;
int bishopBadCentre = -23;
int bishopTargets = 5;
int bishopDefended = 3;
int rookDoubled = 9;
int rookOpenFile = 11;
int rookHalfOpenFile = 9;
int rookSeventh = 28;
int rookSeventhDoubled = -5;
int rookMobility = 15;
int queenMobility = -4;
int queenAlone = 48;
int queenEarly = -6;
int kingPawnWing = 14;
int kingCentreWeight = 9;

int knightTropism[8] = {0, 7, 10, 7, 2, 0, 0, 0};
int bishopTropism[8] = {0, 7, 1, 4, 3, 1, 0, 0};
int rookTropism[8] = {0, 3, 1, 1, 1, 0, 0, 0};
int queenTropism[8] = {0, 22, 9, 1, 1, 0, 0, 0};
int queenSafeCheck = 6;
int rookSafeCheck = 9;
int bishopSafeCheck = 8;
int knightSafeCheck = 3;
int bishopNextToKing = 7;
int rookNextToKing = 3;
int queenNextToKing = 1;
int rookOpenFileTropism = 1;

// clang-format off
const int kingCentre[64] = {
    -1, -1, -1, -1, -1, -1, -1, -1,
    -1,  0,  0,  0,  0,  0,  0, -1,
    -1,  0,  1,  1,  1,  1,  0, -1,
    -1,  0,  1,  2,  2,  1,  0, -1,
    -1,  0,  1,  2,  2,  1,  0, -1,
    -1,  0,  1,  1,  1,  1,  0, -1,
    -1,  0,  0,  0,  0,  0,  0, -1,
    -1, -1, -1, -1, -1, -1, -1, -1};

const TunedParameter tunedParameters[TUNED_PARAMETER_COUNT] = {
    {"developmentWeight", &developmentWeight},
    {"uncastledPenalty", &uncastledPenalty},
    {"blockedCentrePawn", &blockedCentrePawn},
    {"rookImbalance", &rookImbalance},
    {"minorImbalanceSmall", &minorImbalanceSmall},
    {"minorImbalanceBig", &minorImbalanceBig},
    {"shelterWeight", &shelterWeight},
    {"knightOnlyPenalty", &knightOnlyPenalty},
    {"backwardPenalty", &backwardPenalty},
    {"backwardOpenFile", &backwardOpenFile},
    {"backwardCentre", &backwardCentre},
    {"ISOLATEDPAWNPENALTY", &ISOLATEDPAWNPENALTY},
    {"DOUBLEPAWNPENALTY", &DOUBLEPAWNPENALTY},
    {"HPPBONUS", &HPPBONUS},
    {"candidateNoQueen", &candidateNoQueen},
    {"candidateNoPieces", &candidateNoPieces},
    {"passedRankSquare", &passedRankSquare},
    {"passedRankLinear", &passedRankLinear},
    {"passedBase", &passedBase},
    {"passedBlocked", &passedBlocked},
    {"passedFreeStop", &passedFreeStop},
    {"passedSupported", &passedSupported},
    {"passedSupportedByPassed", &passedSupportedByPassed},
    {"passedUnstoppable", &passedUnstoppable},
    {"unstoppableNoHeavy", &unstoppableNoHeavy},
    {"unstoppableNoBishop", &unstoppableNoBishop},
    {"passedKingFar", &passedKingFar},
    {"kingFarNoRook", &kingFarNoRook},
    {"kingFarNoBishop", &kingFarNoBishop},
    {"knightEndgame", &knightEndgame},
    {"outpostBonus", &outpostBonus},
    {"outpostCentre", &outpostCentre},
    {"bishopPair", &bishopPair},
    {"bishopMobility", &bishopMobility},
    {"bishopOwnPawns", &bishopOwnPawns},
    {"bishopBlockedPawns", &bishopBlockedPawns},
    {"bishopBadCentre", &bishopBadCentre},
    {"bishopTargets", &bishopTargets},
    {"bishopDefended", &bishopDefended},
    {"rookDoubled", &rookDoubled},
    {"rookOpenFile", &rookOpenFile},
    {"rookHalfOpenFile", &rookHalfOpenFile},
    {"rookSeventh", &rookSeventh},
    {"rookSeventhDoubled", &rookSeventhDoubled},
    {"rookMobility", &rookMobility},
    {"queenMobility", &queenMobility},
    {"queenAlone", &queenAlone},
    {"queenEarly", &queenEarly},
    {"kingPawnWing", &kingPawnWing},
    {"kingCentreWeight", &kingCentreWeight},
    {"kingReachWeight", &kingReachWeight},
    {"shelterDangerWeight", &shelterDangerWeight},
    {"MAX_TROPISM_PENALTY", &MAX_TROPISM_PENALTY},
    {"dangerShiftQueen", &dangerShiftQueen},
    {"dangerShiftRook", &dangerShiftRook},
    {"dangerShiftBishop", &dangerShiftBishop},
    {"queenSafeCheck", &queenSafeCheck},
    {"rookSafeCheck", &rookSafeCheck},
    {"bishopSafeCheck", &bishopSafeCheck},
    {"knightSafeCheck", &knightSafeCheck},
    {"knightTropism[1]", &knightTropism[1]},
    {"knightTropism[2]", &knightTropism[2]},
    {"knightTropism[3]", &knightTropism[3]},
    {"knightTropism[4]", &knightTropism[4]},
    {"knightTropism[5]", &knightTropism[5]},
    {"bishopTropism[1]", &bishopTropism[1]},
    {"bishopTropism[2]", &bishopTropism[2]},
    {"bishopTropism[3]", &bishopTropism[3]},
    {"bishopTropism[4]", &bishopTropism[4]},
    {"bishopTropism[5]", &bishopTropism[5]},
    {"rookTropism[1]", &rookTropism[1]},
    {"rookTropism[2]", &rookTropism[2]},
    {"rookTropism[3]", &rookTropism[3]},
    {"rookTropism[4]", &rookTropism[4]},
    {"rookTropism[5]", &rookTropism[5]},
    {"queenTropism[1]", &queenTropism[1]},
    {"queenTropism[2]", &queenTropism[2]},
    {"queenTropism[3]", &queenTropism[3]},
    {"queenTropism[4]", &queenTropism[4]},
    {"queenTropism[5]", &queenTropism[5]},
};
// clang-format on

namespace {

// Every writable weight as (first value, count), so the defaults can be kept
// and restored without listing them a second time.
struct Slot {
    int* first;
    int count;
};

constexpr Slot allSlots[] = {
    {&lazyMargin, 1},
    {&developmentWeight, 1},
    {&uncastledPenalty, 1},
    {&blockedCentrePawn, 1},
    {&minorImbalanceBig, 1},
    {&minorImbalanceSmall, 1},
    {&rookImbalance, 1},
    {&shelterWeight, 1},
    {&knightOnlyPenalty, 1},
    {&kingReachWeight, 1},
    {&shelterDangerWeight, 1},
    {&MAX_TROPISM_PENALTY, 1},
    {&dangerShiftQueen, 1},
    {&dangerShiftRook, 1},
    {&dangerShiftBishop, 1},
    {kingDangerTable, DANGER_TABLE_SIZE},
    {&ISOLATEDPAWNPENALTY, 1},
    {&DOUBLEPAWNPENALTY, 1},
    {&backwardPenalty, 1},
    {&backwardOpenFile, 1},
    {&backwardCentre, 1},
    {&HPPBONUS, 1},
    {&candidateNoQueen, 1},
    {&candidateNoPieces, 1},
    {&passedRankSquare, 1},
    {&passedRankLinear, 1},
    {&passedBase, 1},
    {&passedBlocked, 1},
    {&passedFreeStop, 1},
    {&passedSupported, 1},
    {&passedSupportedByPassed, 1},
    {&passedUnstoppable, 1},
    {&unstoppableNoHeavy, 1},
    {&unstoppableNoBishop, 1},
    {&passedKingFar, 1},
    {&kingFarNoRook, 1},
    {&kingFarNoBishop, 1},
    {&knightEndgame, 1},
    {&outpostBonus, 1},
    {&outpostCentre, 1},
    {&bishopPair, 1},
    {&bishopMobility, 1},
    {&bishopOwnPawns, 1},
    {&bishopBlockedPawns, 1},
    {&bishopBadCentre, 1},
    {&bishopTargets, 1},
    {&bishopDefended, 1},
    {&rookDoubled, 1},
    {&rookOpenFile, 1},
    {&rookHalfOpenFile, 1},
    {&rookSeventh, 1},
    {&rookSeventhDoubled, 1},
    {&rookMobility, 1},
    {&queenMobility, 1},
    {&queenAlone, 1},
    {&queenEarly, 1},
    {&kingPawnWing, 1},
    {&kingCentreWeight, 1},
    {knightTropism, 8},
    {bishopTropism, 8},
    {rookTropism, 8},
    {queenTropism, 8},
    {&queenSafeCheck, 1},
    {&rookSafeCheck, 1},
    {&bishopSafeCheck, 1},
    {&knightSafeCheck, 1},
    {&bishopNextToKing, 1},
    {&rookNextToKing, 1},
    {&queenNextToKing, 1},
    {&rookOpenFileTropism, 1},
};

constexpr int totalValues() {
    int n = 0;
    for (const Slot& s : allSlots) n += s.count;
    return n;
}

struct Defaults {
    int values[totalValues()];
    Defaults() {
        int n = 0;
        for (const Slot& s : allSlots)
            for (int i = 0; i < s.count; ++i) values[n++] = s.first[i];
    }
};

// Constructed during static initialisation of this file, after the weights
// above (same translation unit, constant-initialised), so it holds defaults.
const Defaults defaults;

} // namespace

void resetEvaluationParameters() {
    int n = 0;
    for (const Slot& s : allSlots)
        for (int i = 0; i < s.count; ++i) s.first[i] = defaults.values[n++];
}

} // namespace eval
