// Knights, bishops, rooks and queens. Each term adds piece-square values,
// mobility and placement features, records the squares the pieces attack in
// info, and adds each piece's king tropism to the attack count against the
// enemy king (white pieces to againstBlack, black pieces to againstWhite).
// Called in this order, after evaluateKingPlacement: later terms read the
// attack sets and check squares recorded before them.
#pragma once

#include "eval/evalinfo.h"

namespace eval {

int evaluateKnights(const Board& board, EvalInfo& info, int& againstWhite, int& againstBlack,
                    Halves* halves = nullptr);
int evaluateBishops(const Board& board, EvalInfo& info, int& againstWhite, int& againstBlack,
                    Halves* halves = nullptr);
int evaluateRooks(const Board& board, EvalInfo& info, int& againstWhite, int& againstBlack,
                  Halves* halves = nullptr);
int evaluateQueens(const Board& board, EvalInfo& info, int& againstWhite, int& againstBlack,
                   Halves* halves = nullptr);

// Slider attacks seen through own pieces moving on the same lines: bishops
// through own bishops and queens, rooks through own rooks and queens, a
// queen's rook lines through own rooks and its bishop lines through own bishops.
U64 bishopXray(const Board& board, int c, int sq);
U64 rookXray(const Board& board, int c, int sq);
U64 queenXray(const Board& board, int c, int sq);

// True when a knight of colour c on sq counts as an outpost (it must already
// be defended by an own pawn, which the caller checks).
bool isOutpost(const Board& board, const EvalInfo& info, int c, int sq);

} // namespace eval
