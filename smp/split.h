// The split search's side that only the search processes and the front end
// see: the calls of search/split_hook.h are defined in split.cpp, and beside
// them the care for processes that died while they held a part of the tree.
#pragma once

#include "search/split_hook.h"
#include "smp/shared_state.h"

struct SearchContext;

// Process 0, at the start of a root search: frees the blocks 2..99 whose owner
// is gone and that no slave holds; prints "ERROR: split block K owned by P"
// for one still owned by a live process.
void freeBlocksOfGoneOwners(SearchContext& ctx);

// Front end, at each hand-over: every search process that no longer runs
// becomes gone (never claimed again). Returns how many were found.
int markDeadProcessesGone(SharedState& shared);
