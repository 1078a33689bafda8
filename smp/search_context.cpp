#include "smp/search_context.h"

#include <cstring>

#include "smp/hash_tables.h"
#include "smp/locks.h"

namespace {

void readContextSettings(SearchContext& context, const char* path) {
    SettingsFile file;
    if (!file.open(path)) return;
    while (const char* line = file.nextLine()) {
        if (const char* v = settingsValue(line, "pref:NalimovCache=")) {
            context.egtbCacheMb = readNumber(v);
        }
        if (const char* v = settingsValue(line, "pref:printInvertedScore=")) {
            context.printInvertedScore = readNumber(v);
        }
        if (const char* v = settingsValue(line, "pref:egtb-path=")) {
            std::size_t n = std::strcspn(v, "\r\n");
            if (n >= sizeof context.egtbPath) n = sizeof context.egtbPath - 1;
            std::memcpy(context.egtbPath, v, n);
            context.egtbPath[n] = 0;
        }
    }
}

} // namespace

bool initSearchContext(SearchContext& context, SharedState* shared, int processNumber,
                       const char* suffix, const char* settingsPath) {
    context.nodes = 0;
    context.quiescenceNodes = 0;
    context.printInvertedScore = 0;
    context.pShared = shared;
    context.processNumber = processNumber;
    context.egtbCacheMb = DEFAULT_EGTB_CACHE_MB;
    context.egtbPath[0] = 0;
    openTranspositionTable(context.tt, context.ttMapping, suffix, settingsPath);
    readContextSettings(context, settingsPath);
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
