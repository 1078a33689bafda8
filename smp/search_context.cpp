#include "smp/search_context.h"

#include <cstring>

#include "smp/hash_tables.h"
#include "smp/locks.h"

bool initSearchContext(SearchContext& context, SharedState* shared, int processNumber,
                       const char* suffix) {
    context.nodes = 0;
    context.quiescenceNodes = 0;
    context.pShared = shared;
    context.processNumber = processNumber;
    const InstanceSettings& settings = shared->settings;
    context.printInvertedScore = settings.printInvertedScore;
    context.egtbCacheMb = settings.egtbCacheMb;
    std::memcpy(context.egtbPath, settings.egtbPath, sizeof context.egtbPath);
    context.egtbPath[sizeof context.egtbPath - 1] = 0;
    if (!attachTranspositionTable(context.tt, context.ttMapping, suffix)) return false;
    // The tablebases register here (path, cache size, process number) once
    // the prober exists; until then no tablebase is found.
    int count = shared ? sharedLoad(shared->numProcesses) : 1;
    if (count < 1) count = 1;
    if (count > MAX_PROCESS_NUMBERS) count = MAX_PROCESS_NUMBERS;
    bool ok = openSlaveEvents(context.slaveAvailable, context.startSlave, count, context.blockReady,
                              suffix);
    return openSplitBlockLocks(context.splitLocks, suffix, processNumber) && ok;
}

void destroySearchContext(SearchContext& context) {
    closeTranspositionTable(context.tt, context.ttMapping);
    for (auto& e : context.startSlave) e.close();
    context.slaveAvailable.close();
    for (auto& e : context.blockReady) e.close();
    for (auto& m : context.splitLocks) m.close();
}
