#include "smp/search_context.h"

#include <cstring>

#include "egtb/egtb.h"
#include "smp/hash_tables.h"
#include "smp/locks.h"

namespace {

void lockStateHook() {
    lockState();
}
void unlockStateHook() {
    unlockState();
}
void lockOutputHook() {
    lockOutput();
}
void unlockOutputHook() {
    unlockOutput();
}

} // namespace

TablebaseSettings readTablebaseSettings(const char* settingsPath) {
    InstanceSettings settings;
    readInstanceSettings(settings, settingsPath);
    return settings.egtb;
}

void startTablebases(const TablebaseSettings& settings, bool quiet, bool withLocks) {
    if (!settings.pathGiven) return;
    // Registration runs under the state lock so that the processes of one
    // engine do not all read the table files at once.
    static const EgtbLocks engineLocks = {lockStateHook, unlockStateHook, lockOutputHook,
                                          unlockOutputHook};
    initEgtb(settings.path, settings.cacheMb, quiet, withLocks ? &engineLocks : nullptr);
}

bool initSearchContext(SearchContext& context, SharedState* shared, int processNumber,
                       const char* suffix) {
    context.nodes = 0;
    context.quiescenceNodes = 0;
    context.pShared = shared;
    context.processNumber = processNumber;
    const InstanceSettings& settings = shared->settings;
    context.printInvertedScore = settings.printInvertedScore;
    context.egtb = settings.egtb;
    if (!attachTranspositionTable(context.tt, context.ttMapping, suffix)) return false;
    startTablebases(context.egtb, processNumber != 0, true);
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
