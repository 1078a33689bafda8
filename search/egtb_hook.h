// The node search's single door to the endgame tablebases.
#pragma once

#include "board/board.h"

struct SearchContext;

// Looks the position up in the tablebases. On a hit writes the score (from the
// side to move's view, distance-to-mate scores for wins and losses) and
// returns true; false means the tablebases know nothing about it.
bool probeTablebases(SearchContext& ctx, const Board& board, int& score);
