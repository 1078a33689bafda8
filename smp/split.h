// The split search's side that only the search processes and the front end
// see: the calls of search/split_hook.h are defined in split.cpp, and beside
// them the care for processes that died while they held a part of the tree.
#pragma once

#include "search/shared_state.h"
#include "search/split_hook.h"

// Front end, at each hand-over: every search process that no longer runs
// becomes gone (never claimed again). Returns how many were found.
int markDeadProcessesGone(SharedState& shared);
