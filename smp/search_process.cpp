#include "smp/search_process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "board/repetition.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "smp/hash_tables.h"
#include "smp/locks.h"

bool beginEngineInstance() {
    if (!platform::createInstance()) return false;
    platform::removeDeadInstances();
    return true;
}

void endEngineInstance() {
    platform::removeInstanceObjects(platform::instanceId());
}

int startSearchProcesses(const char* programPath, int count, pid_t* pids) {
    int started = 0;
    for (int i = 0; i < count; ++i) {
        if (pids) pids[i] = -1;
        if (i >= MAX_SEARCH_PROCESSES) continue;
        if (pShared) pShared->numSplitBlock[i] = 0;
        pid_t pid = -1;
        int error = platform::startProcess(programPath, i, &pid);
        if (error != 0) {
            std::printf("CreateProcess failed (%d).\n", error);
            continue;
        }
        if (pids) pids[i] = pid;
        ++started;
    }
    return started;
}

int reapSearchProcesses(const pid_t* pids, int count, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int ended = 0;
    for (int i = 0; i < count; ++i) {
        if (pids[i] <= 0) continue;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (platform::waitForExit(pids[i], std::max<int>(0, static_cast<int>(left.count()))) >= 0) {
            ++ended;
            continue;
        }
        platform::killProcess(pids[i]);
        platform::waitForExit(pids[i], platform::NO_TIMEOUT);
    }
    return ended;
}

void wakeAllSlaves(SearchProcess& process) {
    SearchContext& ctx = process.context;
    lockState();
    int count = sharedLoad(process.pShared->numProcesses);
    for (int i = 0; i < count && i < MAX_PROCESS_NUMBERS; ++i) ctx.startSlave[i].signal();
    unlockState();
}

namespace {

constexpr int SLAVE_ANNOUNCE_MS = 1000;

// A slave's share of a split block. Until the split search exists a block
// handed to a slave is given back at once, without searching a move.
void searchSlaveShare(SearchContext&, Move, Board&, int /*depth*/, int /*alpha*/, int /*block*/) {}

} // namespace

void slaveWorkLoop(SearchContext& ctx) {
    SharedState& shared = *ctx.pShared;
    const int me = ctx.processNumber;
    lockState();
    shared.processState[me] = PROCESS_IDLE;
    unlockState();
    ctx.slaveAvailable.signal();
    Board board;
    while (sharedLoad(shared.running) == 1) {
        platform::WaitResult r = ctx.startSlave[me].wait(SLAVE_ANNOUNCE_MS);
        if (r != platform::WaitResult::Acquired) {
            if (r == platform::WaitResult::Failed) platform::sleepMs(SLAVE_ANNOUNCE_MS);
            if (sharedLoad(shared.running) == 1) ctx.slaveAvailable.signal();
            continue;
        }
        lockState();
        int b = shared.numSplitBlock[me];
        unlockState();
        if (b <= 0 || b >= SPLIT_BLOCK_COUNT) continue;
        if (sharedLoad(shared.running) == 0) break;

        SplitBlock& block = shared.splitBlocks[b];
        lockSplitBlock(ctx.splitLocks[b]);
        shared.numSplitBlock[me] = 0;
        Move move = block.move;
        int depth = block.depth;
        int alpha = block.alpha;
        board = block.board;
        repetitionRing = block.ring;
        unlockSplitBlock(ctx.splitLocks[b]);

        ctx.nodes = 0;
        ctx.quiescenceNodes = 0;
        searchSlaveShare(ctx, move, board, depth, alpha, b);

        lockState();
        shared.processState[me] = PROCESS_IDLE;
        addNodeTotals(shared, ctx.nodes, ctx.quiescenceNodes);
        unlockState();

        lockSplitBlock(ctx.splitLocks[b]);
        block.numSlaves -= 1;
        unlockSplitBlock(ctx.splitLocks[b]);

        ctx.blockReady[b].signal();
        ctx.slaveAvailable.signal();
    }
}

int runSearchProcess(int number, const char* identity, ControllerLoop controllerLoop) {
    if (!platform::joinInstanceFromEnvironment()) {
        std::printf("Search process %d runs only when the engine starts it: start tarvok without "
                    "arguments.\n",
                    number);
        return 1;
    }
    // The front end may have died before this process could tie itself to it.
    if (!platform::tieToParent(platform::instanceOwner())) return 0;
    if (number < 0 || number >= MAX_SEARCH_PROCESSES || !controllerLoop) return 1;

    static SearchProcess process;
    openGlobalLocks(identity, number);
    process.pShared = openSharedState(process.sharedMapping, identity);
    bool ready =
        process.pShared && attachEvalHash(process.evalHash, process.evalHashMapping, identity);
    if (ready) {
        SharedState& shared = *process.pShared;
        ready = initSearchContext(process.context, process.pShared, number, identity);
        initEvaluation(&process.evalHash);
        initBoardTables(&shared.ordering, process.board, &shared.settings.material);
        process.processNumber = number;
        openTaskEvents(process.startSearchEvent, process.searchEndedEvent, identity);
        if (ready) {
            sharedStore(shared.attached[number], 1);
            if (number == 0)
                controllerLoop(process);
            else
                slaveWorkLoop(process.context);
        }
        destroySearchContext(process.context);
    }
    closeSharedState(process.sharedMapping);
    closeEvalHash(process.evalHash, process.evalHashMapping);
    process.startSearchEvent.close();
    process.searchEndedEvent.close();
    closeGlobalLocks();
    return ready ? 0 : 1;
}
