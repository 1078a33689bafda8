// King placement, the pawn shelter in front of a king, and the endgame
// king-reach regions.
#pragma once

#include "eval/evalinfo.h"

namespace eval {

// Records both kings' check squares in info; returns the piece-square values
// of the kings, or in the endgame their centralisation or the bonus for
// standing on the wing that holds all the pawns.
int evaluateKingPlacement(const Board& board, EvalInfo& info, Halves* halves = nullptr);

// 0..9: own pawns in front of a king of colour c (W or B) standing on kingSq.
int shelter(const Board& board, int c, int kingSq);

// The endgame race of the kings for the enemy pawns: each king floods the
// squares it can reach without crossing the squares the enemy attacks or its
// own pieces stand on, the side to move first, until neither region changes.
struct KingReach {
    U64 region[2]; // [colour] the flooded region
    U64 usable[2]; // the region without the squares the enemy attacks
    int pawns[2];  // enemy pawns in the side's usable region and not in the other's
    int turns;     // flood steps taken (both sides together)
};
// The turn limit only guards against regions that keep trading squares; in
// practice both settle within a few dozen steps.
inline constexpr int KING_REACH_MAX_TURNS = 256;
KingReach computeKingReach(const Board& board, const EvalInfo& info);

} // namespace eval
