// The search processes and the split search with real processes: this test is
// the front end (and, in the split tests, search process 0); the others are
// this program started again with their numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "board/movegen.h"
#include "board/notation.h"
#include "board/repetition.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "process_helpers.h"
#include "search/movepick.h"
#include "search/root.h"
#include "smp/context_setup.h"
#include "smp/hash_tables.h"
#include "smp/locks.h"
#include "smp/search_process.h"
#include "smp/split.h"

using platform::WaitResult;

namespace {

using Entries = std::vector<std::pair<Move, int>>; // move and status of a split list

TEST(ReorderSplitList, SearchedEntriesByScoreFailedHighLastAndTheIndexAtTheFirstOfThem) {
    // The keys of entries that were not searched are rewritten too (X: not compared).
    constexpr int FH = MOVE_FAILED_HIGH, IN = MOVE_INTERRUPTED, X = 1 << 20;
    struct Case {
        Entries in;
        int n;
        Entries out;
        int index;
    } cases[] = {
        // 15 beat 11: both get the best score; failed-high moves, then the
        // interrupted one; entries beyond n keep their marks and places.
        {{{11, 30}, {12, FH}, {13, IN}, {14, FH}, {15, 40}, {16, 7}, {17, FH}, {0, 0}},
         5,
         {{15, 40}, {11, 40}, {12, FH}, {14, FH}, {13, IN}, {16, X}, {17, FH}, {0, X}},
         2},
        // Ordering keys above any score lead like scores.
        {{{21, 900}, {22, -20}, {23, 1200}, {24, FH}, {0, 0}},
         4,
         {{23, 1200}, {21, 1200}, {22, 1200}, {24, FH}, {0, X}},
         3},
        {{{31, 5}, {32, 9}, {33, 1}, {0, 0}}, 3, {{32, 9}, {31, 9}, {33, 9}, {0, X}}, 3},
        {{{41, IN}, {42, 3}, {0, 0}}, 2, {{42, 3}, {41, 3}, {0, X}}, 2},
        {{{0, 0}}, 5, {{0, 0}}, 0},
    };
    for (const Case& c : cases) {
        Move moves[MOVELIST_CAPACITY] = {};
        std::int16_t status[MOVELIST_CAPACITY] = {};
        for (std::size_t i = 0; i < c.in.size(); ++i) {
            moves[i] = c.in[i].first;
            status[i] = static_cast<std::int16_t>(c.in[i].second);
        }
        EXPECT_EQ(reorderSplitList(moves, status, c.n), c.index) << c.in[0].first;
        Entries out;
        for (std::size_t i = 0; i < c.in.size(); ++i)
            out.emplace_back(moves[i], c.out[i].second == X ? X : status[i]);
        EXPECT_EQ(out, c.out) << c.in[0].first;
    }
}

// The front end's part of the set-up: locks, tables, shared state, task events.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(openGlobalLocks(TEST_IDENTITY, 0));
        ASSERT_EQ(makeEvalHash(evalHash, evalMapping, TEST_IDENTITY, 131072).status,
                  platform::MapStatus::Ok);
        ASSERT_EQ(makeTranspositionTable(frontTt, frontTtMapping, TEST_IDENTITY, 4 * 65536).status,
                  platform::MapStatus::Ok);
        ASSERT_NE(state = openSharedState(stateMapping, TEST_IDENTITY), nullptr);
        setSharedDefaults(*state);
        state->protocol = PROTOCOL_UCI;
        state->postThinking = 0;
        state->allSearchprocesEnabled = TASK_THINK;
        ASSERT_TRUE(createTaskEvents(startSearch, searchEnded, TEST_IDENTITY));
    }

    // This process's search context as process 0 of `processes`.
    void attach(int processes) {
        state->numProcesses = processes;
        ASSERT_TRUE(initSearchContext(ctx, state, 0, TEST_IDENTITY));
        contextOpen = true;
        initEvaluation(&evalHash);
        initBoardTables(&state->ordering, board);
    }

    // Makes this process search process 0 and starts slaves 1..n (the process
    // count counts `extra` numbers more, that no process answers to).
    void startSlaves(int n, int extra = 0) {
        attach(n + 1 + extra);
        for (int i = 1; i <= n; ++i) {
            startingChildren("search", out.writeEnd(),
                             [&] { return platform::startProcess("tarvok", i, &children[i].pid); });
            state->processPid[i] = children[i].pid;
        }
        ASSERT_TRUE(waitUntil([&] { return slavesIdle(n); }, 10000)) << "slaves idle";
        state->processState[0] = PROCESS_BUSY;
        state->timer1.setLimit(100000);
        state->timer1.start();
    }
    bool slavesIdle(int n) {
        for (int i = 1; i <= n; ++i)
            if (sharedLoad(state->processState[i]) != PROCESS_IDLE) return false;
        return true;
    }

    void TearDown() override {
        if (state) state->running = 0;
        startSearch.signal();
        for (auto& e : ctx.startSlave) e.signal();
        for (auto& child : children) EXPECT_TRUE(child.pid <= 0 || child.wait(5000) == 0);
        testing::internal::CaptureStdout();
        if (contextOpen) destroySearchContext(ctx);
        if (state) closeSharedState(stateMapping);
        closeEvalHash(evalHash, evalMapping);
        closeTranspositionTable(frontTt, frontTtMapping);
        testing::internal::GetCapturedStdout();
        closeGlobalLocks();
    }

    Move search(const char* fen, int depth, RootReport* report) {
        setFromFen(board, fen);
        state->maxDepth = depth;
        state->timer1.setLimit(100000);
        state->timer1.start();
        Board root = board;
        return searchRoot(ctx, root, report);
    }

    // Every block from 2 on free, no slave on any block, every slave idle.
    void expectAllFree(int slaves) {
        lockState();
        for (int b = 1; b < SPLIT_BLOCK_COUNT; ++b) {
            EXPECT_EQ(state->splitBlocks[b].numSlaves, 0) << b;
            EXPECT_TRUE(b < 2 || state->splitBlocks[b].owner == SPLIT_BLOCK_FREE) << b;
        }
        for (int i = 1; i <= slaves; ++i) {
            EXPECT_EQ(state->processState[i], PROCESS_IDLE) << i;
            EXPECT_EQ(state->slaveBlock[i] + state->numSplitBlock[i], 0) << i;
        }
        unlockState();
    }

    int indexOf(int k, const char* move) {
        char buf[16];
        for (int i = 0; state->splitBlocks[k].moveList[i] != NO_MOVE; ++i)
            if (std::string(formatMove(state->splitBlocks[k].moveList[i], buf, true)) == move)
                return i;
        return -1;
    }

    TestInstance instance;
    EvalHash evalHash;
    TranspositionTable frontTt;
    platform::SharedMapping evalMapping, frontTtMapping, stateMapping;
    SharedState* state = nullptr;
    platform::NamedEvent startSearch, searchEnded;
    SearchContext ctx{};
    bool contextOpen = false;
    Board board{};
    Pipe out;
    ChildProcess children[MAX_SEARCH_PROCESSES];
};

TEST_F(EngineTest, SearchProcessesFromStartToQuit) {
    constexpr int kProcesses = 3;
    state->numProcesses = kProcesses;
    for (int i = 0; i < kProcesses; ++i) state->numSplitBlock[i] = 7;
    pid_t pids[kProcesses];
    ASSERT_EQ(startingChildren("search", out.writeEnd(),
                               [&] { return startSearchProcesses("tarvok", kProcesses, pids); }),
              kProcesses);
    for (int i = 0; i < kProcesses; ++i) children[i].pid = pids[i];
    for (int i = 0; i < kProcesses; ++i) EXPECT_EQ(state->numSplitBlock[i], 0);
    attach(kProcesses);
    // The slaves announce themselves idle, and again every second. (A bounded
    // drain: an event whose zero wait always succeeded would loop here.)
    ASSERT_TRUE(waitUntil([&] { return slavesIdle(2); }, 10000));
    for (int drain = 0; drain < 2; ++drain) {
        platform::sleepMs(100);
        int signals = 0;
        while (signals < 100 && ctx.slaveAvailable.wait(0) == WaitResult::Acquired) ++signals;
        ASSERT_LT(signals, 100) << "the slave-available event never ran dry";
    }
    EXPECT_EQ(ctx.slaveAvailable.wait(1600), WaitResult::Acquired);
    ASSERT_TRUE(startSearch.signal()); // process 0 answers the task
    EXPECT_EQ(searchEnded.wait(5000), WaitResult::Acquired);

    // Quit: process 0 wakes the slaves, and every process ends with its lines.
    state->running = 0;
    ASSERT_TRUE(startSearch.signal());
    EXPECT_EQ(reapSearchProcesses(pids, kProcesses, 5000), kProcesses);
    for (auto& child : children) child.pid = -1;
    out.closeEnd(1);
    std::string text = out.receive(2000), expected;
    for (int i = 0; i < kProcesses; ++i)
        expected += "unmapping sharedHashtable....\nGetting rid of handle sharedHashtable....\n"
                    "unmapping....\nGetting rid of handle....\nunmapping sharedEvalHashtable....\n"
                    "Getting rid of handle sharedEvalHashtable....\n";
    std::sort(text.begin(), text.end()); // the processes' lines interleave
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(text, expected);
}

TEST_F(EngineTest, AnOwnerFindingItsBlockStoppedSearchesTheFailedHighMoveAgain) {
    // The slaves have left; the one at entry 1 found it better than alpha.
    // The owner searches that move itself with its full window: it mates.
    startSlaves(0);
    setFromFen(board, "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    board.rootPly = board.gamePly;
    SplitBlock& block = state->splitBlocks[2];
    block.owner = 0;
    generateLegal(board, block.moveList);
    std::swap(block.moveList[indexOf(2, "a1a8")], block.moveList[1]);
    block.status[1] = MOVE_FAILED_HIGH;
    block.nextMoveIndex = 3;
    block.stopFlag = 1;
    EXPECT_EQ(searchSplitPoint(ctx, 0, board, 3, 0, 500, 2, 0, TT_UPPER, NO_MOVE), SCORE_MATE);
    EXPECT_EQ(block.stopFlag, 1); // the mate stops the block
    EXPECT_EQ(block.numSlaves, 0);
}

// Fixed-depth searches with one to three slaves: the mates at the depth where
// one process finds them, the others at the score one process finds (their
// shared tables make a few points' difference); every block free afterwards.
TEST_F(EngineTest, SplitSearchesFindWhatOneProcessFinds) {
    struct Case {
        const char* fen;
        int depth, found; // asked, and reported
        const char* move; // "" for the one process's move
        int score;        // 0 for the one process's score
    } cases[] = {
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 4, 2, "a1a8", SCORE_MATE},
        {"2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1", 6, 6, "g3g6", SCORE_MATE},
        {"r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - 0 1", 6, 3, "h6h7", SCORE_MATE},
        {"8/6pp/3q1p2/3n1k2/1P6/3NQ2P/5PP1/6K1 w - - 0 1", 8, 4, "g2g4", SCORE_MATE},
        {"r3k2r/pbp2pp1/3b1n2/1p6/3P3p/1B2N1Pq/PP1PQP1P/R1B2RK1 b kq - 0 1", 8, 4, "h3h2",
         SCORE_MATE},
        {"r2q1rk1/1pp1bppp/2n1bn2/p1P1p3/3pP3/P2P1N2/1PQNBPPP/1RB2RK1 b - -", 9, 9, "f6d7", 88},
        {"r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12", 9, 9, "c4d5", -7},
    };
    startSlaves(3);
    testing::internal::CaptureStdout();
    for (int n = 0; n <= 3; ++n) {
        state->numProcesses = n + 1; // slaves above n take no part
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(n) + " slaves: " + c.fen);
            ctx.tt.clear();
            RootReport report;
            char buf[16];
            EXPECT_STREQ(formatMove(search(c.fen, c.depth, &report), buf, true), c.move);
            EXPECT_NEAR(report.score, c.score, c.score == SCORE_MATE || n == 0 ? 0 : 10);
            EXPECT_EQ(report.depth, c.found);
            expectAllFree(3);
        }
    }
    state->numProcesses = 4;
    std::string text = testing::internal::GetCapturedStdout() + out.receive(300);
    for (const char* bad : {"ERROR", "WARNING", "Timeout", "@mutex"})
        EXPECT_EQ(text.find(bad), std::string::npos) << text;
}

TEST_F(EngineTest, ANodeFillsItsBlockFromThePickerAndCountsOffADeadSlave) {
    // Process 1 is claimable but has ended: the owner searches every move
    // itself (to a pinned result), then counts the silent slave off as dead.
    // What the block holds afterwards shows how it was filled.
    startSlaves(0, 1);
    ChildProcess gone(forkChild([] { return 0; }));
    pid_t deadPid = gone.pid;
    ASSERT_EQ(gone.wait(5000), 0);
    setFromFen(board, "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12");
    board.rootPly = board.gamePly;
    // Moves served before: none generated yet, among the captures, among the quiet moves.
    for (auto [served, score] : {std::pair{0, -10}, {2, -23}, {12, -40}}) {
        SCOPED_TRACE(served);
        state->processPid[1] = deadPid;
        state->processState[1] = PROCESS_IDLE;
        MovePicker picker;
        picker.init(board);
        for (int i = 0; i < served; ++i) ASSERT_NE(picker.next(), NO_MOVE);
        MovePicker expected = picker;
        expected.fillRest();
        Board node = board;
        SplitRequest request{0, &node, 5, -2000, 2000, -2000, TT_UPPER, NO_MOVE, &picker};
        int result = 0;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(trySplit(ctx, request, result));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string search process 1 died\n");
        EXPECT_EQ(state->processState[1], PROCESS_GONE);
        EXPECT_EQ(result, score);
        // The whole list; entries before the fill index keep their keys.
        const SplitBlock& block = state->splitBlocks[2];
        const MoveList& list = expected.list();
        int n = static_cast<int>(std::find(list.moves, list.moves + MOVELIST_CAPACITY, NO_MOVE) -
                                 list.moves);
        EXPECT_TRUE(std::equal(list.moves, list.moves + n + 1, block.moveList));
        EXPECT_TRUE(std::equal(list.scores, list.scores + expected.nextIndex(), block.status));
        EXPECT_EQ(block.nextMoveIndex, n);
        EXPECT_EQ(block.owner, SPLIT_BLOCK_FREE);
    }
}

} // namespace
