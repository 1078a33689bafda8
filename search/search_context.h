// What one search process needs while it searches: its node counters, the
// shared state, the events and locks of the split search, its handle on the
// transposition table and its tablebase settings. One per search process,
// in that process's own memory.
#pragma once

#include "search/shared_state.h"
#include "search/tt.h"
#include "smp/limits.h"
#include "smp/platform.h"

struct SearchContext {
    std::int32_t nodes; // full-width nodes since the counters were cleared
    std::int32_t quiescenceNodes;
    std::int32_t printInvertedScore; // "pref:printInvertedScore="
    SharedState* pShared;
    platform::NamedEvent startSlave[MAX_PROCESS_NUMBERS]; // "handleStartSlave" + i
    platform::NamedEvent slaveAvailable;                  // "handleSlaveAvailable"
    platform::NamedEvent blockReady[SPLIT_BLOCK_COUNT];   // "handleSbReady_" ... k
    platform::NamedMutex splitLocks[SPLIT_BLOCK_COUNT];   // "Mutex_SBlock_" ... k
    int processNumber;
    TranspositionTable tt;
    platform::SharedMapping ttMapping;
    TablebaseSettings egtb;
};
