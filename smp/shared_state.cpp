#include "smp/shared_state.h"

#include <cstdio>
#include <cstring>

#include "smp/locks.h"

SharedState* pShared = nullptr;

SharedState* openSharedState(platform::SharedMapping& mapping, const char* suffix) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, SHARED_STATE_PREFIX, suffix);
    platform::MapStatus status = platform::openMapping(mapping, name, sizeof(SharedState));
    if (status == platform::MapStatus::CreateFailed) {
        std::printf("ERROR! Could not create file mapping object.\n");
        return nullptr;
    }
    if (status == platform::MapStatus::MapFailed || mapping.bytes < sizeof(SharedState)) {
        std::printf("ERROR! Could not map view of file.\n");
        platform::unmapView(mapping);
        platform::closeHandle(mapping);
        return nullptr;
    }
    pShared = static_cast<SharedState*>(mapping.address);
    return pShared;
}

void closeSharedState(platform::SharedMapping& mapping) {
    if (mapping.address) {
        std::printf("unmapping....\n");
        if (pShared == mapping.address) pShared = nullptr;
        platform::unmapView(mapping);
    }
    if (mapping.handle >= 0) {
        std::printf("Getting rid of handle....\n");
        platform::closeHandle(mapping);
    }
}

void readInstanceSettings(InstanceSettings& settings, const char* path) {
    settings.printInvertedScore = 0;
    settings.egtb = TablebaseSettings{};
    SettingsFile file;
    if (!file.open(path)) return;
    while (const char* line = file.nextLine()) {
        if (const char* v = settingsValue(line, "pref:NalimovCache=")) {
            settings.egtb.cacheMb = readNumber(v);
        }
        if (const char* v = settingsValue(line, "pref:printInvertedScore=")) {
            settings.printInvertedScore = readNumber(v);
        }
        if (const char* v = settingsValue(line, "pref:egtb-path=")) {
            std::size_t n = std::strcspn(v, "\r\n");
            if (n >= sizeof settings.egtb.path) n = sizeof settings.egtb.path - 1;
            std::memcpy(settings.egtb.path, v, n);
            settings.egtb.path[n] = 0;
            settings.egtb.pathGiven = true;
        }
    }
}

void resetProcessRecords(SharedState& state) {
    for (int i = 0; i < MAX_PROCESS_NUMBERS; ++i) {
        state.numSplitBlock[i] = 0;
        state.processState[i] = 0;
        sharedStore(state.attached[i], 0);
    }
    for (int k = 0; k < SPLIT_BLOCK_COUNT; ++k) {
        state.splitBlocks[k].owner = SPLIT_BLOCK_FREE;
        state.splitBlocks[k].numSlaves = 0;
    }
}

void setSharedDefaults(SharedState& state) {
    state.ponderEnabled = 0;
    state.gameClock.init();
    state.maxDepth = DEFAULT_MAX_DEPTH;
    state.postThinking = 1;
    state.running = 1;
    state.allSearchprocesEnabled = TASK_STOP;
    state.protocol = PROTOCOL_XBOARD;
    state.useEgtb = state.useNullMove = state.useLateMoveReduction = 1;
    state.useFutility = state.useExtensions = state.useBook = 1;
    for (int k = 0; k < SPLIT_BLOCK_COUNT; ++k) {
        state.splitBlocks[k].owner = SPLIT_BLOCK_FREE;
        state.splitBlocks[k].number = k;
    }
}

void addNodeTotals(SharedState& state, std::int32_t nodes, std::int32_t quiescenceNodes) {
    auto add = [](std::int32_t a, std::int32_t b) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) +
                                         static_cast<std::uint32_t>(b));
    };
    state.nodeCount = add(state.nodeCount, nodes);
    state.quiescenceNodeCount = add(state.quiescenceNodeCount, quiescenceNodes);
}
