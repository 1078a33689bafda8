#include "search/root.h"

#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/repetition.h"
#include "eval/evaluate.h"
#include "search/movepick.h"
#include "search/node.h"
#include "smp/locks.h"
#include "smp/search_context.h"
#include "smp/split.h"

namespace {

constexpr int ASPIRATION = 100;
constexpr int MAX_PV_MOVES = 100;

// A process that runs the search on its own (a tool, a test) has no named
// locks; it is alone, so it needs none.
void lockIfOpen(platform::NamedMutex& mutex) {
    if (mutex.valid()) lockMutex(mutex);
}
void unlockIfOpen(platform::NamedMutex& mutex) {
    if (mutex.valid()) unlockMutex(mutex);
}

// A line of output is composed here and written with one call under the
// output lock, so that other processes' lines cannot cut into it.
class Line {
  public:
    void add(const char* fmt, auto... args) {
        if (len_ >= static_cast<int>(sizeof buf_)) return;
        int n = std::snprintf(buf_ + len_, sizeof buf_ - len_, fmt, args...);
        if (n > 0) len_ = std::min<int>(len_ + n, sizeof buf_ - 1);
    }
    void addMove(unsigned move, bool lowerPromotion) {
        char m[16];
        add("%s", formatMove(move, m, lowerPromotion));
    }
    void print() {
        lockIfOpen(outputLock);
        std::fputs(buf_, stdout);
        std::fflush(stdout);
        unlockIfOpen(outputLock);
        len_ = 0;
        buf_[0] = 0;
    }

  private:
    char buf_[4096] = {};
    int len_ = 0;
};

bool isLegal(const Board& pos, unsigned move) {
    Move legal[MOVELIST_CAPACITY];
    int n = generateLegal(pos, legal);
    for (int i = 0; i < n; ++i)
        if (legal[i] == move) return true;
    return false;
}

// Adds this process's node counters into the shared totals (clearing them)
// and returns the totals: full-width plus quiescence nodes of all processes.
std::int64_t collectNodes(SearchContext& ctx) {
    SharedState& sh = *ctx.pShared;
    lockIfOpen(stateLock);
    addNodeTotals(sh, ctx.nodes, ctx.quiescenceNodes);
    ctx.nodes = 0;
    ctx.quiescenceNodes = 0;
    std::int64_t total = static_cast<std::int64_t>(static_cast<std::uint32_t>(sh.nodeCount)) +
                         static_cast<std::uint32_t>(sh.quiescenceNodeCount);
    unlockIfOpen(stateLock);
    return total;
}

void setProcessState(SearchContext& ctx, int process, int state) {
    if (process < 0 || process >= MAX_PROCESS_NUMBERS) return;
    lockIfOpen(stateLock);
    ctx.pShared->processState[process] = state;
    unlockIfOpen(stateLock);
}

// The principal variation from the transposition table, starting with the
// root move being reported. Each table move is checked for legality, and the
// line ends where a position repeats. Making the moves writes the process's
// repetition ring beyond the root, which the search is using: it is saved
// and put back.
void addPrincipalVariation(SearchContext& ctx, Line& line, const Board& root, Move first,
                           bool lowerPromotion) {
    RepetitionRing saved = repetitionRing;
    Board pos = root;
    Move mv = first;
    for (int n = 0; n < MAX_PV_MOVES && mv != NO_MOVE; ++n) {
        if (n > 0 &&
            (repetitionRing.isRepetition(pos.gamePly, pos.halfmoveClock) || !isLegal(pos, mv)))
            break;
        line.addMove(mv, lowerPromotion);
        line.add(" ");
        makeMove(pos, mv);
        mv = ctx.tt.bestMove(pos.boardkey);
    }
    repetitionRing = saved;
}

void printThinkingLine(SearchContext& ctx, const Board& root, int depth, int score, Move move) {
    SharedState& sh = *ctx.pShared;
    int t = sh.timer1.elapsed();
    std::int64_t nodes = collectNodes(ctx);
    int shown = ctx.printInvertedScore != 0 && root.toMove == BLACK ? -score : score;
    bool uci = sh.protocol == PROTOCOL_UCI;
    Line line;
    if (uci) {
        std::int64_t nps = t > 0 ? nodes * 1000 / t : 0;
        line.add("info depth %d score cp %d time %d nodes %d nps %d pv ", depth, shown, t,
                 static_cast<int>(nodes), static_cast<int>(nps));
    } else {
        line.add(" %d  %d  %d  %d ", depth, shown, t / 10, static_cast<int>(nodes));
    }
    addPrincipalVariation(ctx, line, root, move, uci);
    line.add("\n");
    line.print();
}

void printCurrentMove(SearchContext& ctx, int number, Move move) {
    SharedState& sh = *ctx.pShared;
    if (sh.protocol != PROTOCOL_UCI || sh.postThinking == 0 || sh.timer1.elapsed() <= 1000) return;
    Line line;
    line.add("info currmovenumber %d currmove ", number);
    line.addMove(move, true);
    line.add("\n");
    line.print();
}

bool stopRequested(const SharedState& sh) {
    return sh.timer1.timeIsUp() || sharedLoad(sh.allSearchprocesEnabled) == 0;
}

// While the driver searches a root move itself, the highest-numbered process
// is held back from splits, so that no more processes search at once than
// there are slaves. Only an idle process is taken, and only what was taken is
// given back (releaseHeldBack). With complain, a process found busy is
// reported with "ERROR: not idle".
bool holdBackHighest(SearchContext& ctx, bool complain) {
    SharedState& sh = *ctx.pShared;
    const int highest = sh.numProcesses - 1;
    if (highest <= 0 || highest >= MAX_PROCESS_NUMBERS || highest == ctx.processNumber)
        return false;
    lockIfOpen(stateLock);
    int state = sh.processState[highest];
    if (state == PROCESS_IDLE) sh.processState[highest] = PROCESS_BUSY;
    unlockIfOpen(stateLock);
    if (complain && state == PROCESS_BUSY) {
        Line line;
        line.add("ERROR: not idle\n");
        line.print();
    }
    return state == PROCESS_IDLE;
}

void releaseHeldBack(SearchContext& ctx, bool held) {
    if (!held) return;
    SharedState& sh = *ctx.pShared;
    const int highest = sh.numProcesses - 1;
    lockIfOpen(stateLock);
    if (sh.processState[highest] == PROCESS_BUSY) sh.processState[highest] = PROCESS_IDLE;
    unlockIfOpen(stateLock);
}

// The root moves from index `from` on, searched by this process alone: a zero
// window at the best score so far, and the full window for a move that beats
// it. Returns the count of moves searched (from counts as searched before).
int searchRestAlone(SearchContext& ctx, Board& board, int k, int& prev, bool post, int from) {
    SharedState& sh = *ctx.pShared;
    Move* moves = sh.splitBlocks[ROOT_SPLIT_BLOCK].moveList;
    std::int16_t* scores = sh.splitBlocks[ROOT_SPLIT_BLOCK].status;
    Board child;
    int searched = from;
    for (int i = from; i < ROOT_LIST_SIZE && moves[i] != NO_MOVE; ++i) {
        sh.rootMovesDone = i;
        sh.currentRootMove = moves[i];
        printCurrentMove(ctx, i + 1, moves[i]);
        child = board;
        makeMove(child, moves[i]);
        int v = -searchNode(ctx, moves[i], child, k - 1, -prev - 1, -prev, 0);
        scores[i] = static_cast<std::int16_t>(v);
        if (v <= prev) {
            if (sh.timer1.timeIsUp()) break;
        } else {
            v = -searchNode(ctx, moves[i], child, k - 1, -SCORE_MATE, SCORE_MATE, 0);
            scores[i] = static_cast<std::int16_t>(v);
            if (v <= prev || stopRequested(sh) || v == -SCORE_TIMEOUT) {
                if (sh.timer1.timeIsUp()) break;
            } else {
                prev = v;
                if (post) printThinkingLine(ctx, board, k, v, moves[i]);
                if (sh.timer1.timeIsUp()) {
                    ++searched; // completed: it must lead the list
                    break;
                }
            }
        }
        if (sharedLoad(sh.allSearchprocesEnabled) == 0) break;
        ++searched;
        if (scores[i] == SCORE_MATE) break;
    }
    return searched;
}

// Gives every idle slave to the root block (never process 0 or this one).
// Returns how many were claimed.
int claimSlavesForRootBlock(SearchContext& ctx) {
    SharedState& sh = *ctx.pShared;
    const int count = std::min<int>(sh.numProcesses, MAX_PROCESS_NUMBERS);
    SplitBlock& block = sh.splitBlocks[ROOT_SPLIT_BLOCK];
    int claimed[MAX_PROCESS_NUMBERS];
    int n = 0;
    lockState();
    for (int i = 1; i < count; ++i) {
        if (i == ctx.processNumber || sh.processState[i] != PROCESS_IDLE) continue;
        sh.processState[i] = PROCESS_BUSY;
        lockSplitBlock(ctx.splitLocks[ROOT_SPLIT_BLOCK]);
        block.numSlaves += 1;
        sh.slaveBlock[i] = ROOT_SPLIT_BLOCK;
        sh.slaveMoveIndex[i] = -1;
        unlockSplitBlock(ctx.splitLocks[ROOT_SPLIT_BLOCK]);
        sh.numSplitBlock[i] = ROOT_SPLIT_BLOCK;
        claimed[n++] = i;
    }
    unlockState();
    for (int c = 0; c < n; ++c) ctx.startSlave[claimed[c]].signal();
    return n;
}

// The root moves after the first with several search processes: the slaves
// take them from the root block with a zero window at prev; a move that one
// of them finds better is searched again here with the full window, and the
// slaves go on with the moves after it. Returns the count of moves searched.
int searchRestWithSlaves(SearchContext& ctx, Board& board, int k, int& prev, bool post) {
    SharedState& sh = *ctx.pShared;
    SplitBlock& block = sh.splitBlocks[ROOT_SPLIT_BLOCK];
    platform::NamedMutex& blockLock = ctx.splitLocks[ROOT_SPLIT_BLOCK];
    Move* moves = block.moveList;
    std::int16_t* scores = block.status;
    lockSplitBlock(blockLock);
    block.alpha = prev;
    block.beta = prev + 1;
    block.move = NO_MOVE;
    block.depth = k;
    block.nextMoveIndex = 1;
    block.stopFlag = 0;
    unlockSplitBlock(blockLock);

    Board child;
    for (;;) {
        if (claimSlavesForRootBlock(ctx) == 0) {
            // Nobody to hand the moves to: the driver takes the rest itself.
            lockSplitBlock(blockLock);
            int from = block.nextMoveIndex;
            unlockSplitBlock(blockLock);
            int searched = searchRestAlone(ctx, board, k, prev, post, from);
            lockSplitBlock(blockLock);
            block.nextMoveIndex = searched;
            unlockSplitBlock(blockLock);
            return searched;
        }
        waitForSlaves(ctx, ROOT_SPLIT_BLOCK);
        lockSplitBlock(blockLock);
        bool stopped = block.stopFlag != 0;
        int idx = 0;
        if (!stopRequested(sh) && stopped) {
            block.stopFlag = 0;
            idx = reorderSplitList(moves, scores, block.nextMoveIndex);
            block.nextMoveIndex = idx;
        }
        unlockSplitBlock(blockLock);
        if (stopRequested(sh) || !stopped || moves[idx] == NO_MOVE) break;

        sh.rootMovesDone = idx;
        sh.currentRootMove = moves[idx];
        printCurrentMove(ctx, idx + 1, moves[idx]);
        child = board;
        makeMove(child, moves[idx]);
        bool held = holdBackHighest(ctx, true);
        int v = -searchNode(ctx, moves[idx], child, k - 1, -SCORE_MATE, SCORE_MATE, 0);
        lockSplitBlock(blockLock);
        scores[idx] = static_cast<std::int16_t>(v);
        block.alpha = v;
        block.beta = v + 1;
        unlockSplitBlock(blockLock);
        releaseHeldBack(ctx, held);
        if (stopRequested(sh) || v == -SCORE_TIMEOUT) break;
        if (v > prev) {
            prev = v;
            if (post) printThinkingLine(ctx, board, k, v, moves[idx]);
        }
        lockSplitBlock(blockLock);
        block.nextMoveIndex = idx + 1;
        unlockSplitBlock(blockLock);
        if (prev == SCORE_MATE) break;
    }
    lockSplitBlock(blockLock);
    int searched = block.nextMoveIndex;
    unlockSplitBlock(blockLock);
    return searched;
}

} // namespace

int sortRootMoves(Move* moves, std::int16_t* scores, int n) {
    int runningBest = -SCORE_MATE - 1;
    for (int i = 0; i < ROOT_LIST_SIZE; ++i) {
        int s = scores[i];
        if (i < n && s > runningBest) {
            scores[i] = static_cast<std::int16_t>(100 + i);
            runningBest = s;
        } else if (s != MOVE_INTERRUPTED && s != MOVE_FAILED_HIGH) {
            scores[i] = static_cast<std::int16_t>(100 - i);
        }
    }
    int gap = n;
    bool exchanged = false;
    while (n > 1 && (gap > 1 || exchanged)) {
        gap = (gap + 1) / 2;
        exchanged = false;
        for (int i = 0; i + gap < n; ++i) {
            if (scores[i + gap] > scores[i]) {
                std::swap(scores[i], scores[i + gap]);
                std::swap(moves[i], moves[i + gap]);
                exchanged = true;
            }
        }
    }
    scores[0] = static_cast<std::int16_t>(runningBest);
    return runningBest;
}

Move searchRoot(SearchContext& ctx, Board& board, RootReport* report) {
    SharedState& sh = *ctx.pShared;
    RootReport local;
    RootReport& result = report != nullptr ? *report : local;
    result = RootReport{};
    const int me = ctx.processNumber;

    clearHistory(sh.ordering);
    clearKillers(sh.ordering);
    ctx.nodes = 0;
    ctx.quiescenceNodes = 0;
    lockIfOpen(stateLock);
    sh.nodeCount = 0;
    sh.quiescenceNodeCount = 0;
    unlockIfOpen(stateLock);
    setProcessState(ctx, me, PROCESS_BUSY);
    if (me == 0 && sh.numProcesses > 1) freeBlocksOfGoneOwners(ctx);

    board.rootPly = board.gamePly;

    SplitBlock& block = sh.splitBlocks[ROOT_SPLIT_BLOCK];
    platform::NamedMutex& blockLock = ctx.splitLocks[ROOT_SPLIT_BLOCK];
    lockIfOpen(blockLock);
    block.owner = me;
    block.board = board;
    block.ring = repetitionRing;
    int rootMoves = generateLegal(board, block.moveList);
    for (std::int16_t& s : block.status) s = 0;
    block.nextMoveIndex = 0;
    block.numSlaves = 0;
    block.stopFlag = 0;
    unlockIfOpen(blockLock);
    sh.rootMoveCount = rootMoves;

    if (rootMoves == 0) return inCheck(board) ? NO_MOVES_MATED : NO_MOVES_STALEMATE;
    if (rootMoves == 1) return block.moveList[0];

    Move* moves = block.moveList;
    std::int16_t* scores = block.status;
    const bool post = sh.postThinking != 0;
    bool interrupted = false;
    int prev = evaluate(board, -SCORE_MATE, SCORE_MATE);
    Board child;

    for (int k = 1; k <= sh.maxDepth; ++k) {
        sh.rootMovesDone = 0;
        sh.currentDepth = k;
        sh.currentRootMove = moves[0];
        printCurrentMove(ctx, 1, moves[0]);

        // The first move alone, in an aspiration window around the last score.
        // Meanwhile the highest-numbered process is held back from splits, so
        // that no more processes search at once than there are slaves.
        bool held = holdBackHighest(ctx, false);
        child = board;
        makeMove(child, moves[0]);
        int v =
            -searchNode(ctx, moves[0], child, k - 1, -(prev + ASPIRATION), -(prev - ASPIRATION), 0);
        if (v >= prev + ASPIRATION || v <= prev - ASPIRATION)
            v = -searchNode(ctx, moves[0], child, k - 1, -SCORE_MATE, SCORE_MATE, 0);
        releaseHeldBack(ctx, held);
        scores[0] = static_cast<std::int16_t>(v);

        if (stopRequested(sh) || v == -SCORE_TIMEOUT) {
            if (post) {
                Line line;
                line.add(" depth=%d only first move examined\n", k);
                line.print();
            }
            interrupted = true;
            break;
        }
        if (v == SCORE_MATE) {
            if (post) {
                Line line;
                line.add(" winning move, break!\n");
                line.print();
            }
            result = RootReport{k, v};
            break;
        }
        prev = v;
        if (post) printThinkingLine(ctx, board, k, v, moves[0]);

        // The other moves: by this process alone, or handed to the slaves
        // through the root block.
        int searched = sh.numProcesses < 2 ? searchRestAlone(ctx, board, k, prev, post, 1)
                                           : searchRestWithSlaves(ctx, board, k, prev, post);

        int best = sortRootMoves(moves, scores, searched);
        if (stopRequested(sh)) {
            if (post) {
                Line line;
                line.add(" depth=%d\n moves searched=%d\n", k, searched);
                line.print();
            }
            interrupted = true;
            break;
        }
        result = RootReport{k, best};
        if (best == SCORE_MATE) {
            if (post) {
                Line line;
                line.add(" depth=%d winning move, break!: %d\n", k, best);
                line.print();
            }
            break;
        }
        if (best == -SCORE_MATE) {
            if (post) {
                Line line;
                line.add(" depth=%d all losing moves, break!\n", k);
                line.print();
            }
            break;
        }
        clearKillers(sh.ordering);
    }

    // The totals feed the status line and the benchmarks, so they are kept
    // up to date whether or not anything is printed.
    int t = sh.timer1.elapsed();
    std::int64_t nodes = collectNodes(ctx);
    if (post) {
        Line line;
        if (interrupted) {
            line.add("pShared->allSearchprocesEnabled=%d\n", sh.allSearchprocesEnabled);
            line.add("pShared->timer1.timeIsUp()=%d\n", sh.timer1.timeIsUp() ? 1 : 0);
        }
        line.add(" Nodes=%d\n", static_cast<int>(nodes));
        if (t > 0) {
            line.add(" average speed= %d.kNPS ", static_cast<int>(nodes / t));
            line.add(" total time elapsed= %d\n", t);
        }
        line.add(" foundmove=");
        line.addMove(moves[0], false);
        line.add("\n\n");
        line.print();
    }
    return moves[0];
}
