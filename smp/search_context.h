// What one search process needs while it searches: its node counters, the
// shared state, the events and locks of the split search, its handle on the
// transposition table and its tablebase settings. One per search process,
// in that process's own memory.
#pragma once

#include "board/settings_file.h"
#include "search/tt.h"
#include "smp/limits.h"
#include "smp/platform.h"
#include "smp/shared_state.h"

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
    // Tablebase settings: "pref:NalimovCache=" (MB) and "pref:egtb-path=".
    std::int32_t egtbCacheMb;
    char egtbPath[SETTINGS_LINE_SIZE];
};

// Attaches the transposition table the front end made, takes the context's
// settings from the shared state (the front end's InstanceSettings), sets up
// the tablebases and creates or opens the slave events and the split block
// locks. False when the table, an event or a lock could not be had.
bool initSearchContext(SearchContext& context, SharedState* shared, int processNumber,
                       const char* suffix);
// Releases the transposition table (with its messages), the events and locks.
void destroySearchContext(SearchContext& context);
