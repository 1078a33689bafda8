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
    TablebaseSettings egtb;
};

// Attaches the transposition table the front end made, takes the context's
// settings from the shared state (the front end's InstanceSettings), sets up
// the tablebases and creates or opens the slave events and the split block
// locks. False when the table, an event or a lock could not be had.
bool initSearchContext(SearchContext& context, SharedState* shared, int processNumber,
                       const char* suffix);
// The tablebase settings of a settings file (defaults when it is missing).
TablebaseSettings readTablebaseSettings(const char* settingsPath = SETTINGS_FILE_NAME);
// Sets up the tablebases from the settings: nothing is registered without a
// directory setting. withLocks takes the engine's state and output locks
// around registration and the start-up lines.
void startTablebases(const TablebaseSettings& settings, bool quiet, bool withLocks);
// Releases the transposition table (with its messages), the events and locks.
void destroySearchContext(SearchContext& context);
