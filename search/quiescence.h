// The capture search at the leaves of the full-width search.
#pragma once

#include "board/board.h"

struct SearchContext;

// Fail-hard capture search: stands pat on the lazy-window evaluation, then
// tries the captures and promotions the quiescence generator keeps, best
// first. No depth limit, no check handling, no table, no clock. `move` (the
// move that led to board) is carried for symmetry with the node search.
// The board keeps its position; only the positional estimate that the
// evaluation writes changes, and the children inherit it as their lazy guess.
int quiescence(SearchContext& ctx, unsigned move, Board& board, int alpha, int beta);
