// The split-point search: a node hands its remaining moves to idle slave
// processes through a split block and searches the block with them.
//
// Lock order: the state lock, then one block lock, never the reverse.
// Nothing is printed while either is held: a line is composed under the
// locks, which are released before it is printed under the output lock.
#include "smp/split.h"

#include <algorithm>
#include <cstdio>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/repetition.h"
#include "search/movepick.h"
#include "search/node.h"
#include "search/root.h"
#include "search/search_context.h"
#include "smp/locks.h"

namespace {

// The longest single wait of an owner for its slaves: between two waits it
// looks whether a slave has died.
constexpr int WAIT_SLICE_MS = 1000;
// A "Timeout sbNum" line per this much waiting.
constexpr int TIMEOUT_LINE_MS = 10000;

void printLine(const char* text) {
    lockOutput();
    std::fputs(text, stdout);
    std::fflush(stdout);
    unlockOutput();
}

// Takes the move at the block's next-move index for a searcher with the
// given alpha (the caller holds the block's lock): writes that alpha into the
// move's status and advances the index past a real move. Returns the move and
// its index.
Move takeMove(SplitBlock& block, int alpha, int& index) {
    int idx = std::clamp(block.nextMoveIndex, 0, MOVELIST_CAPACITY - 1);
    index = idx;
    block.status[idx] = static_cast<std::int16_t>(alpha);
    Move m = block.moveList[idx];
    if (m != NO_MOVE) block.nextMoveIndex = idx + 1;
    return m;
}

// The extension of a move made on child from parent: check given, else a
// recapture on the parent's recapture square.
int extensionOf(const SharedState& sh, const Board& parent, const Board& child, unsigned mv) {
    if (sh.useExtensions == 0) return 0;
    return inCheck(child) || moveTo(mv) == parent.recaptureSq ? 1 : 0;
}

bool reducible(const SharedState& sh, const Board& parent, const Board& child, unsigned mv,
               int depth, bool parentInCheck) {
    return sh.useLateMoveReduction != 0 && depth > 1 && !inCheck(child) && !parentInCheck &&
           parent.squares[moveTo(mv)] == EMPTY &&
           killerTest(sh.ordering, mv, parent.gamePly, parent.toMove) == 0;
}

// The owner's part when its block has been stopped by a slave that failed
// high: wait for the others to leave, clear the flag and bring the first
// failed-high move to the next-move index. Returns that index.
int collectAfterStop(SearchContext& ctx, int k) {
    SplitBlock& block = ctx.pShared->splitBlocks[k];
    waitForSlaves(ctx, k);
    lockSplitBlock(ctx.splitLocks[k]);
    block.stopFlag = 0;
    int n = std::clamp(block.nextMoveIndex, 0, MOVELIST_CAPACITY);
    int idx = reorderSplitList(block.moveList, block.status, n);
    block.nextMoveIndex = idx;
    unlockSplitBlock(ctx.splitLocks[k]);
    return idx;
}

void stopAndWait(SearchContext& ctx, int k) {
    lockSplitBlock(ctx.splitLocks[k]);
    ctx.pShared->splitBlocks[k].stopFlag = 1;
    unlockSplitBlock(ctx.splitLocks[k]);
    waitForSlaves(ctx, k);
}

// "search process N died", after "info string " in UCI.
void reportDeadProcess(const SharedState& sh, int process) {
    char line[64];
    std::snprintf(line, sizeof line, "%ssearch process %d died\n",
                  sharedLoad(sh.protocol) == PROTOCOL_UCI ? "info string " : "", process);
    printLine(line);
}

// Looks at the slaves attached to block k and counts off the dead ones. The
// caller holds no lock. Returns true when one was found.
bool countOffDeadSlaves(SearchContext& ctx, int k) {
    SharedState& sh = *ctx.pShared;
    int count = std::clamp(sharedLoad(sh.numProcesses), 0, MAX_PROCESS_NUMBERS);
    int dead[MAX_PROCESS_NUMBERS];
    int deadCount = 0;
    lockState();
    lockSplitBlock(ctx.splitLocks[k]);
    SplitBlock& block = sh.splitBlocks[k];
    for (int i = 1; i < count; ++i) {
        if (sh.slaveBlock[i] != k || sh.processPid[i] <= 0 ||
            platform::processRuns(sh.processPid[i]))
            continue;
        dead[deadCount++] = i;
        sh.processState[i] = PROCESS_GONE;
        sh.numSplitBlock[i] = 0;
        sh.slaveBlock[i] = 0;
        if (block.numSlaves > 0) block.numSlaves -= 1;
        int idx = sh.slaveMoveIndex[i];
        if (idx >= 0 && idx < MOVELIST_CAPACITY && block.moveList[idx] != NO_MOVE) {
            block.status[idx] = MOVE_FAILED_HIGH; // searched again by the owner
            block.stopFlag = 1;
        }
    }
    unlockSplitBlock(ctx.splitLocks[k]);
    // Whatever the dead processes owned is told to stop; process 0 frees it.
    for (int d = 0; d < deadCount; ++d) {
        for (int b = 2; b < SPLIT_BLOCK_COUNT; ++b) {
            if (b == k) continue;
            lockSplitBlock(ctx.splitLocks[b]);
            if (sh.splitBlocks[b].owner == dead[d]) sh.splitBlocks[b].stopFlag = 1;
            unlockSplitBlock(ctx.splitLocks[b]);
        }
    }
    unlockState();
    for (int d = 0; d < deadCount; ++d) reportDeadProcess(sh, dead[d]);
    return deadCount > 0;
}

} // namespace

int reorderSplitList(Move* moves, std::int16_t* status, int n) {
    if (moves[0] == NO_MOVE) return 0;
    n = std::clamp(n, 0, MOVELIST_CAPACITY);
    int best = sortRootMoves(moves, status, n);
    int i = 0;
    while (i < MOVELIST_CAPACITY - 1 && moves[i] != NO_MOVE && status[i] != MOVE_FAILED_HIGH) {
        status[i] = static_cast<std::int16_t>(best);
        ++i;
    }
    return i;
}

void waitForSlaves(SearchContext& ctx, int k) {
    SharedState& sh = *ctx.pShared;
    SplitBlock& block = sh.splitBlocks[k];
    int waited = 0;
    for (;;) {
        lockSplitBlock(ctx.splitLocks[k]);
        int n = block.numSlaves;
        unlockSplitBlock(ctx.splitLocks[k]);
        if (n <= 0) return;
        if (ctx.blockReady[k].wait(WAIT_SLICE_MS) == platform::WaitResult::Acquired) continue;
        if (countOffDeadSlaves(ctx, k)) continue;
        waited += WAIT_SLICE_MS;
        if (waited % TIMEOUT_LINE_MS == 0) {
            lockSplitBlock(ctx.splitLocks[k]);
            n = block.numSlaves;
            unlockSplitBlock(ctx.splitLocks[k]);
            char line[64];
            std::snprintf(line, sizeof line, "Timeout sbNum=%d num=%d\n", k, n);
            printLine(line);
        }
    }
}

bool trySplit(SearchContext& ctx, const SplitRequest& r, int& result) {
    SharedState& sh = *ctx.pShared;
    const int me = ctx.processNumber;
    const int count = std::clamp(sharedLoad(sh.numProcesses), 0, MAX_PROCESS_NUMBERS);

    lockState();
    int claimed[MAX_PROCESS_NUMBERS];
    int numClaimed = 0;
    for (int i = 1; i < count; ++i) {
        if (i == me || sh.processState[i] != PROCESS_IDLE) continue;
        sh.processState[i] = PROCESS_BUSY;
        claimed[numClaimed++] = i;
    }
    if (numClaimed == 0) {
        unlockState();
        return false;
    }
    int k = 2;
    for (; k < SPLIT_BLOCK_COUNT; ++k) {
        lockSplitBlock(ctx.splitLocks[k]);
        if (sh.splitBlocks[k].owner == SPLIT_BLOCK_FREE) break;
        unlockSplitBlock(ctx.splitLocks[k]);
    }
    if (k == SPLIT_BLOCK_COUNT) {
        for (int c = 0; c < numClaimed; ++c) sh.processState[claimed[c]] = PROCESS_IDLE;
        unlockState();
        printLine("WARNING: No splitblock available!\n");
        return false;
    }

    SplitBlock& block = sh.splitBlocks[k];
    block.owner = me;
    block.alpha = r.alpha;
    block.beta = r.beta;
    block.depth = r.depth;
    block.ring = repetitionRing;
    block.move = static_cast<Move>(r.move);
    block.board = *r.board;
    r.picker->fillRest();
    const MoveList& list = r.picker->list();
    std::copy(std::begin(list.moves), std::end(list.moves), block.moveList);
    std::copy(std::begin(list.scores), std::end(list.scores), block.status);
    block.moveList[MOVELIST_CAPACITY - 1] = NO_MOVE;
    block.nextMoveIndex = r.picker->nextIndex();
    block.stopFlag = 0;
    block.numSlaves = numClaimed;
    for (int c = 0; c < numClaimed; ++c) {
        sh.slaveBlock[claimed[c]] = k;
        sh.slaveMoveIndex[claimed[c]] = -1;
        sh.numSplitBlock[claimed[c]] = k;
    }
    for (int c = 0; c < numClaimed; ++c) ctx.startSlave[claimed[c]].signal();
    unlockSplitBlock(ctx.splitLocks[k]);
    unlockState();

    result = searchSplitPoint(ctx, r.move, *r.board, r.depth, r.alpha, r.beta, k, r.nodeAlpha,
                              r.boundType, r.best);

    // The split-point search waited for every slave; one still attached
    // here is an inconsistency worth a line, and the block stays owned until
    // it has left.
    for (;;) {
        lockSplitBlock(ctx.splitLocks[k]);
        int left = block.numSlaves;
        if (left == 0) block.owner = SPLIT_BLOCK_FREE;
        unlockSplitBlock(ctx.splitLocks[k]);
        if (left == 0) break;
        char line[80];
        std::snprintf(line, sizeof line, "pShared->splitBlocks[newSbNum].numSlaves=%d\n", left);
        printLine(line);
        waitForSlaves(ctx, k);
    }
    return true;
}

int searchSplitPoint(SearchContext& ctx, unsigned /*move*/, Board& B, int d, int alpha, int beta,
                     int k, int /*nodeAlpha*/, int boundType, Move best) {
    SharedState& sh = *ctx.pShared;
    SplitBlock& block = sh.splitBlocks[k];
    platform::NamedMutex& blockLock = ctx.splitLocks[k];
    TranspositionTable& tt = ctx.tt;
    const bool inCheckNow = inCheck(B);
    int a = alpha;

    // The first move: a slave may already have failed high, or taken the last move.
    bool research = false;
    lockSplitBlock(blockLock);
    if (block.stopFlag != 0 ||
        block.moveList[std::clamp(block.nextMoveIndex, 0, MOVELIST_CAPACITY - 1)] == NO_MOVE) {
        bool stopped = block.stopFlag != 0;
        unlockSplitBlock(blockLock);
        if (stopped) {
            collectAfterStop(ctx, k);
            research = true;
        } else {
            waitForSlaves(ctx, k);
            lockSplitBlock(blockLock);
            stopped = block.stopFlag != 0;
            unlockSplitBlock(blockLock);
            if (stopped) {
                collectAfterStop(ctx, k);
                research = true;
            }
        }
        lockSplitBlock(blockLock);
    }
    int idx;
    Move mv = takeMove(block, a, idx);
    unlockSplitBlock(blockLock);

    Board K;
    while (mv != NO_MOVE) {
        K = B;
        makeMove(K, mv);
        if (!leavesKingAttacked(K, mv)) {
            int e = extensionOf(sh, B, K, mv);
            int v;
            if (idx == 0 && !research) {
                v = -searchNode(ctx, mv, K, d - 1 + e, -beta, -a, k);
            } else {
                if (reducible(sh, B, K, mv, d, inCheckNow)) e = -1;
                v = a;
                if (!research) {
                    v = -searchNode(ctx, mv, K, d - 1 + e, -a - 1, -a, k);
                    if (e == -1 && v > a) v = -searchNode(ctx, mv, K, d - 1, -a - 1, -a, k);
                }
                if (research || (a < v && v < beta))
                    v = -searchNode(ctx, mv, K, d - 1 + std::max(e, 0), -beta, -a, k);
            }

            if (v == -SCORE_SPLIT_ABORT) {
                // A slave failed high and stopped the block, this move with it:
                // it goes back into the list to be searched again.
                lockSplitBlock(blockLock);
                block.status[idx] = MOVE_INTERRUPTED;
                unlockSplitBlock(blockLock);
                collectAfterStop(ctx, k);
                v = a;
            } else if (v == -SCORE_TIMEOUT) {
                stopAndWait(ctx, k);
                return SCORE_TIMEOUT;
            } else if (v == SCORE_MATE) {
                stopAndWait(ctx, k);
                return SCORE_MATE;
            } else if (v >= beta) {
                stopAndWait(ctx, k);
                tt.store(B.boardkey, d, B.rootPly, v, TT_LOWER, mv);
                updateHistoryAndKillers(sh.ordering, mv, v, B.gamePly, B.toMove,
                                        B.squares[moveTo(mv)]);
                return beta;
            }
            if (best == NO_MOVE) best = NO_BEST_MOVE_MARK;
            if (v > a) {
                updateHistoryAndKillers(sh.ordering, mv, v, B.gamePly, B.toMove,
                                        B.squares[moveTo(mv)]);
                best = mv;
                a = v;
                boundType = TT_EXACT;
            }
        }

        research = false;
        lockSplitBlock(blockLock);
        mv = takeMove(block, a, idx);
        unlockSplitBlock(blockLock);
        if (mv != NO_MOVE) continue;

        // The list is used up: once the slaves have left, a move one of them
        // found better than alpha is searched again here.
        waitForSlaves(ctx, k);
        lockSplitBlock(blockLock);
        bool stopped = block.stopFlag != 0;
        unlockSplitBlock(blockLock);
        if (!stopped) break;
        collectAfterStop(ctx, k);
        lockSplitBlock(blockLock);
        mv = takeMove(block, a, idx);
        unlockSplitBlock(blockLock);
        if (mv == NO_MOVE) {
            printLine("ERROR: No move to research after beta-cutoff\n");
            break;
        }
    }

    tt.store(B.boardkey, d, B.rootPly, static_cast<std::int16_t>(a), boundType,
             best == NO_BEST_MOVE_MARK ? NO_MOVE : best);
    return a;
}

void slaveSearchSplitBlock(SearchContext& ctx, unsigned m, Board& B, int d, int a, int k) {
    SharedState& sh = *ctx.pShared;
    SplitBlock& block = sh.splitBlocks[k];
    platform::NamedMutex& blockLock = ctx.splitLocks[k];
    const int me = ctx.processNumber;
    const bool inCheckNow = inCheck(B);

    int idx;
    lockSplitBlock(blockLock);
    Move mv = takeMove(block, a, idx);
    sh.slaveMoveIndex[me] = idx;
    unlockSplitBlock(blockLock);

    Board K;
    while (mv != NO_MOVE) {
        K = B;
        makeMove(K, mv);
        if (!leavesKingAttacked(K, mv)) {
            // The root block (move 0) takes no extension or reduction, like the root driver.
            int e = m != NO_MOVE ? extensionOf(sh, B, K, mv) : 0;
            if (m != NO_MOVE && reducible(sh, B, K, mv, d, inCheckNow)) e = -1;
            int v = -searchNode(ctx, mv, K, d - 1 + e, -a - 1, -a, k);
            if (e == -1 && v > a) v = -searchNode(ctx, mv, K, d - 1, -a - 1, -a, k);
            if (v == -SCORE_SPLIT_ABORT || v == -SCORE_TIMEOUT || v > a) {
                lockSplitBlock(blockLock);
                if (v == -SCORE_SPLIT_ABORT || v == -SCORE_TIMEOUT) {
                    block.status[idx] = MOVE_INTERRUPTED;
                } else {
                    block.status[idx] = MOVE_FAILED_HIGH;
                    block.stopFlag = 1;
                }
                sh.slaveMoveIndex[me] = -1;
                unlockSplitBlock(blockLock);
                return;
            }
        }
        lockSplitBlock(blockLock);
        mv = takeMove(block, a, idx);
        sh.slaveMoveIndex[me] = idx;
        unlockSplitBlock(blockLock);
    }
    lockSplitBlock(blockLock);
    sh.slaveMoveIndex[me] = -1;
    unlockSplitBlock(blockLock);
}

void freeBlocksOfGoneOwners(SearchContext& ctx) {
    SharedState& sh = *ctx.pShared;
    char lines[SPLIT_BLOCK_COUNT][64];
    int numLines = 0;
    lockState();
    for (int b = 2; b < SPLIT_BLOCK_COUNT; ++b) {
        lockSplitBlock(ctx.splitLocks[b]);
        SplitBlock& block = sh.splitBlocks[b];
        int owner = block.owner;
        if (owner != SPLIT_BLOCK_FREE) {
            bool gone =
                owner < 0 || owner >= MAX_PROCESS_NUMBERS || sh.processState[owner] == PROCESS_GONE;
            if (gone && block.numSlaves == 0) {
                block.owner = SPLIT_BLOCK_FREE;
                block.stopFlag = 0;
            } else if (!gone) {
                std::snprintf(lines[numLines++], sizeof lines[0],
                              "ERROR: split block %d owned by %d\n", b, owner);
            }
        }
        unlockSplitBlock(ctx.splitLocks[b]);
    }
    unlockState();
    for (int i = 0; i < numLines; ++i) printLine(lines[i]);
}

int markDeadProcessesGone(SharedState& sh) {
    int count = std::clamp(sharedLoad(sh.numProcesses), 0, MAX_PROCESS_NUMBERS);
    int found = 0;
    lockState();
    for (int i = 0; i < count; ++i) {
        if (sh.processPid[i] <= 0 || sh.processState[i] == PROCESS_GONE) continue;
        if (platform::processRuns(sh.processPid[i])) continue;
        sh.processState[i] = PROCESS_GONE;
        ++found;
    }
    unlockState();
    return found;
}
