// Pawn structure, candidate passers and passed pawns. Every term returns a
// white-minded amount; when halves is given it also receives each side's own
// share (the amount is white's share minus black's).
#pragma once

#include "eval/evalinfo.h"

namespace eval {

// Pawn piece-square values, isolated, doubled and backward pawns. Records
// both sides' pawn attacks in info and marks passed pawns and candidate
// passers (of both colours) in passed and candidates.
int evaluatePawns(const Board& board, EvalInfo& info, U64& passed, U64& candidates,
                  Halves* halves = nullptr);
// Candidate passers, scaled down as the defending side loses pieces.
int evaluateCandidates(const Board& board, U64 passed, U64 candidates, Halves* halves = nullptr);
// Passed pawns; the regions are the squares each king can reach in time
// (the defending king's region decides whether it can catch a pawn). Each
// half in halves is the side's result before the material scaling.
int evaluatePassed(const Board& board, U64 passed, U64 whiteRegion, U64 blackRegion,
                   Halves* halves = nullptr);

} // namespace eval
