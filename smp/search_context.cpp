#include "smp/search_context.h"

#include <cstring>

#include "egtb/egtb.h"
#include "smp/hash_tables.h"
#include "smp/locks.h"

namespace {

void readContextSettings(SearchContext& context, const char* path) {
    SettingsFile file;
    if (!file.open(path)) return;
    while (const char* line = file.nextLine()) {
        if (const char* v = settingsValue(line, "pref:printInvertedScore=")) {
            context.printInvertedScore = readNumber(v);
        }
    }
}

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
    TablebaseSettings settings;
    SettingsFile file;
    if (!file.open(settingsPath)) return settings;
    while (const char* line = file.nextLine()) {
        if (const char* v = settingsValue(line, "pref:NalimovCache=")) {
            settings.cacheMb = readNumber(v);
        }
        if (const char* v = settingsValue(line, "pref:egtb-path=")) {
            std::size_t n = std::strcspn(v, "\r\n");
            if (n >= sizeof settings.path) n = sizeof settings.path - 1;
            std::memcpy(settings.path, v, n);
            settings.path[n] = 0;
            settings.pathGiven = true;
        }
    }
    return settings;
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
                       const char* suffix, const char* settingsPath) {
    context.nodes = 0;
    context.quiescenceNodes = 0;
    context.printInvertedScore = 0;
    context.pShared = shared;
    context.processNumber = processNumber;
    openTranspositionTable(context.tt, context.ttMapping, suffix, settingsPath);
    readContextSettings(context, settingsPath);
    context.egtb = readTablebaseSettings(settingsPath);
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
