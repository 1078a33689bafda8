#include "search/root.h"

#include <cstdarg>
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
#include "search/search_context.h"
#include "search/split_hook.h"
#include "smp/locks.h"

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
    void add(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (len_ >= static_cast<int>(sizeof buf_) - 1) return;
        va_list args;
        va_start(args, fmt);
        int n = std::vsnprintf(buf_ + len_, sizeof buf_ - len_, fmt, args);
        va_end(args);
        if (n > 0) len_ = std::min<int>(len_ + n, sizeof buf_ - 1);
    }
    void addMove(unsigned move, bool lowerPromotion) {
        char m[16];
        add("%s", formatMove(move, m, lowerPromotion));
    }
    void print() {
        printLocked(buf_);
        len_ = 0;
        buf_[0] = 0;
    }

  private:
    char buf_[4096] = {};
    int len_ = 0;
};

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

bool usesUci(const SharedState& sh) {
    return sh.protocol == PROTOCOL_UCI;
}

// The principal variation from the transposition table, starting with the
// root move being reported. Each table move is checked for legality, and the
// line ends where a position repeats; the root move itself is always shown,
// also when the root position is a repetition, so a GUI never gets an empty
// line. Making the moves writes the process's repetition ring beyond the
// root, which the search is using: it is saved and put back.
void addPrincipalVariation(SearchContext& ctx, Line& line, const Board& root, Move first,
                           bool lowerPromotion) {
    RepetitionRing saved = repetitionRing;
    Board pos = root;
    Move mv = first;
    for (int n = 0; n < MAX_PV_MOVES && mv != NO_MOVE; ++n) {
        if (n > 0 &&
            (repetitionRing.isRepetition(pos.gamePly, pos.halfmoveClock) || !isLegalMove(pos, mv)))
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
    const bool uci = usesUci(sh);
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
    if (!usesUci(sh) || sh.postThinking == 0 || sh.timer1.elapsed() <= 1000) return;
    Line line;
    line.add("info currmovenumber %d currmove ", number);
    line.addMove(move, true);
    line.add("\n");
    line.print();
}

// One call of searchRoot: the root list (split block 1) and the score of the
// best move so far.
struct RootSearch {
    SearchContext& ctx;
    SharedState& sh;
    const Board& board;
    Move* moves;
    std::int16_t* scores;
    bool post;
    int prev;

    // The clock counts from the second iteration on: the first one always
    // completes (it takes well under a millisecond), so even a spent budget
    // plays a searched move. A search switched off is never played.
    bool timeIsUp(int k) const { return k > 1 && sh.timer1.timeIsUp(); }
    bool stopRequested(int k) const {
        return timeIsUp(k) || sharedLoad(sh.allSearchprocesEnabled) == 0;
    }

    // A debug note of the show-thinking output.
    void note(const char* fmt, ...) const __attribute__((format(printf, 2, 3))) {
        if (!post) return;
        char text[256];
        va_list args;
        va_start(args, fmt);
        std::vsnprintf(text, sizeof text, fmt, args);
        va_end(args);
        Line line;
        line.add("%s", text);
        line.print();
    }

    int searchMove(int i, int depth, int alpha, int beta) const {
        Board child = board;
        makeMove(child, moves[i]);
        return -searchNode(ctx, moves[i], child, depth, -beta, -alpha, 0);
    }
};

enum class Outcome { Go, Interrupted, Decided };

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

// The first move alone, in an aspiration window around the last score, with
// the highest-numbered process held back.
Outcome searchFirstMove(RootSearch& r, int k, RootReport& result) {
    bool held = holdBackHighest(r.ctx, false);
    int v = r.searchMove(0, k - 1, r.prev - ASPIRATION, r.prev + ASPIRATION);
    if (v >= r.prev + ASPIRATION || v <= r.prev - ASPIRATION)
        v = r.searchMove(0, k - 1, -SCORE_MATE, SCORE_MATE);
    releaseHeldBack(r.ctx, held);
    r.scores[0] = static_cast<std::int16_t>(v);

    if (r.stopRequested(k) || v == -SCORE_TIMEOUT) {
        r.note(" depth=%d only first move examined\n", k);
        return Outcome::Interrupted;
    }
    if (v == SCORE_MATE) {
        r.note(" winning move, break!\n");
        result = RootReport{k, v};
        return Outcome::Decided;
    }
    r.prev = v;
    if (r.post) printThinkingLine(r.ctx, r.board, k, v, r.moves[0]);
    return Outcome::Go;
}

// The root moves from index from on, searched by this process alone: a zero
// window at the best score so far, and the full window for a move that beats
// it. Returns the number of moves completed, those before from included.
int searchRestAlone(RootSearch& r, int k, int from) {
    SharedState& sh = r.sh;
    int searched = from;
    for (int i = from; i < ROOT_LIST_SIZE && r.moves[i] != NO_MOVE; ++i) {
        sh.rootMovesDone = i;
        sh.currentRootMove = r.moves[i];
        printCurrentMove(r.ctx, i + 1, r.moves[i]);
        int v = r.searchMove(i, k - 1, r.prev, r.prev + 1);
        r.scores[i] = static_cast<std::int16_t>(v);
        if (v <= r.prev) {
            if (r.timeIsUp(k)) break;
        } else {
            v = r.searchMove(i, k - 1, -SCORE_MATE, SCORE_MATE);
            r.scores[i] = static_cast<std::int16_t>(v);
            if (v <= r.prev || r.stopRequested(k) || v == -SCORE_TIMEOUT) {
                if (r.timeIsUp(k)) break;
            } else {
                r.prev = v;
                if (r.post) printThinkingLine(r.ctx, r.board, k, v, r.moves[i]);
                if (r.timeIsUp(k)) {
                    ++searched; // completed: it must lead the list
                    break;
                }
            }
        }
        if (sharedLoad(sh.allSearchprocesEnabled) == 0) break;
        ++searched;
        if (r.scores[i] == SCORE_MATE) break;
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
int searchRestWithSlaves(RootSearch& r, int k) {
    SearchContext& ctx = r.ctx;
    SharedState& sh = r.sh;
    SplitBlock& block = sh.splitBlocks[ROOT_SPLIT_BLOCK];
    platform::NamedMutex& blockLock = ctx.splitLocks[ROOT_SPLIT_BLOCK];
    lockSplitBlock(blockLock);
    block.alpha = r.prev;
    block.beta = r.prev + 1;
    block.move = NO_MOVE;
    block.depth = k;
    block.nextMoveIndex = 1;
    block.stopFlag = 0;
    unlockSplitBlock(blockLock);

    for (;;) {
        if (claimSlavesForRootBlock(ctx) == 0) {
            // Nobody to hand the moves to: the driver takes the rest itself.
            lockSplitBlock(blockLock);
            int from = block.nextMoveIndex;
            unlockSplitBlock(blockLock);
            int searched = searchRestAlone(r, k, from);
            lockSplitBlock(blockLock);
            block.nextMoveIndex = searched;
            unlockSplitBlock(blockLock);
            return searched;
        }
        waitForSlaves(ctx, ROOT_SPLIT_BLOCK);
        lockSplitBlock(blockLock);
        bool stopped = block.stopFlag != 0;
        int idx = 0;
        if (!r.stopRequested(k) && stopped) {
            block.stopFlag = 0;
            idx = reorderSplitList(r.moves, r.scores, block.nextMoveIndex);
            block.nextMoveIndex = idx;
        }
        unlockSplitBlock(blockLock);
        if (r.stopRequested(k) || !stopped || r.moves[idx] == NO_MOVE) break;

        sh.rootMovesDone = idx;
        sh.currentRootMove = r.moves[idx];
        printCurrentMove(ctx, idx + 1, r.moves[idx]);
        bool held = holdBackHighest(ctx, true);
        int v = r.searchMove(idx, k - 1, -SCORE_MATE, SCORE_MATE);
        lockSplitBlock(blockLock);
        r.scores[idx] = static_cast<std::int16_t>(v);
        block.alpha = v;
        block.beta = v + 1;
        unlockSplitBlock(blockLock);
        releaseHeldBack(ctx, held);
        if (r.stopRequested(k) || v == -SCORE_TIMEOUT) break;
        if (v > r.prev) {
            r.prev = v;
            if (r.post) printThinkingLine(ctx, r.board, k, v, r.moves[idx]);
        }
        lockSplitBlock(blockLock);
        block.nextMoveIndex = idx + 1;
        unlockSplitBlock(blockLock);
        if (r.prev == SCORE_MATE) break;
    }
    lockSplitBlock(blockLock);
    int searched = block.nextMoveIndex;
    unlockSplitBlock(blockLock);
    return searched;
}

// The other moves: by this process alone, or handed to the slaves through
// the root block. Returns the number of moves completed, the first one
// included.
int searchOtherMoves(RootSearch& r, int k) {
    return r.sh.numProcesses < 2 ? searchRestAlone(r, k, 1) : searchRestWithSlaves(r, k);
}

// After an iteration: the list re-ordered, then whether to go on.
Outcome finishIteration(RootSearch& r, int k, int searched, RootReport& result) {
    int best = sortRootMoves(r.moves, r.scores, searched);
    if (r.stopRequested(k)) {
        r.note(" depth=%d\n moves searched=%d\n", k, searched);
        return Outcome::Interrupted;
    }
    result = RootReport{k, best};
    if (best == SCORE_MATE) {
        r.note(" depth=%d winning move, break!: %d\n", k, best);
        return Outcome::Decided;
    }
    if (best == -SCORE_MATE) {
        r.note(" depth=%d all losing moves, break!\n", k);
        return Outcome::Decided;
    }
    clearKillers(r.sh.ordering);
    return Outcome::Go;
}

// The totals feed the status line and the benchmarks, so they are kept up to
// date whether or not anything is printed.
void printReport(RootSearch& r, bool interrupted) {
    SharedState& sh = r.sh;
    int t = sh.timer1.elapsed();
    std::int64_t nodes = collectNodes(r.ctx);
    if (!r.post) return;
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
    line.addMove(r.moves[0], usesUci(sh));
    line.add("\n\n");
    line.print();
}

// Fills the root block with the legal moves of board; returns their number.
int setUpRoot(SearchContext& ctx, Board& board) {
    SharedState& sh = *ctx.pShared;
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
    return rootMoves;
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
    RootReport local;
    RootReport& result = report != nullptr ? *report : local;
    result = RootReport{};

    const int rootMoves = setUpRoot(ctx, board);
    SplitBlock& block = ctx.pShared->splitBlocks[ROOT_SPLIT_BLOCK];
    if (rootMoves == 0) return inCheck(board) ? NO_MOVES_MATED : NO_MOVES_STALEMATE;
    if (rootMoves == 1) return block.moveList[0];

    SharedState& sh = *ctx.pShared;
    RootSearch r{ctx,
                 sh,
                 board,
                 block.moveList,
                 block.status,
                 sh.postThinking != 0,
                 evaluate(board, -SCORE_MATE, SCORE_MATE)};
    bool interrupted = false;
    for (int k = 1; k <= sh.maxDepth; ++k) {
        sh.rootMovesDone = 0;
        sh.currentDepth = k;
        sh.currentRootMove = r.moves[0];
        printCurrentMove(ctx, 1, r.moves[0]);

        Outcome o = searchFirstMove(r, k, result);
        if (o == Outcome::Go) o = finishIteration(r, k, searchOtherMoves(r, k), result);
        if (o != Outcome::Go) {
            interrupted = o == Outcome::Interrupted;
            break;
        }
    }
    printReport(r, interrupted);
    return r.moves[0];
}
