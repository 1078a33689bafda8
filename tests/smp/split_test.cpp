// The search processes and the split search: this test is the front end (and
// search process 0); the others are this program started again with their numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "board/movegen.h"
#include "board/notation.h"
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

// Lists as "move:status ..." (F failed high, I interrupted), the list's end not shown.
TEST(ReorderSplitList, SearchedEntriesByScoreFailedHighLastAndTheIndexAtTheFirstOfThem) {
    const std::tuple<const char*, int, const char*, int> cases[] = {
        // 15 beat 11: both get the best score; the failed-high moves, then the
        // interrupted one; entries beyond n keep their places.
        {"11:30 12:F 13:I 14:F 15:40 16:7 17:F", 5, "15:40 11:40 12:F 14:F 13:I 16:95 17:F", 2},
        {"21:900 22:-20 23:1200 24:F", 4, "23:1200 21:1200 22:1200 24:F", 3}, // keys above scores
        {"31:5 32:9 33:1", 3, "32:9 31:9 33:9", 3},
        {"41:I 42:3", 2, "42:3 41:3", 2}, // an interrupted move is no fail-high
        {"", 5, "", 0},
    };
    const auto marks = [](std::string s) { // F and I as the marks' values
        for (std::size_t at; (at = s.find_first_of("FI")) != std::string::npos;)
            s.replace(at, 1, std::to_string(s[at] == 'F' ? MOVE_FAILED_HIGH : MOVE_INTERRUPTED));
        return s;
    };
    for (auto [in, n, out, index] : cases) {
        Move moves[MOVELIST_CAPACITY] = {};
        std::int16_t status[MOVELIST_CAPACITY] = {};
        std::istringstream text(marks(in));
        int i = 0;
        for (char colon; text >> moves[i] >> colon >> status[i];) ++i;
        EXPECT_EQ(reorderSplitList(moves, status, n), index) << in;
        std::string got;
        for (i = 0; moves[i] != NO_MOVE; ++i)
            got += std::string(i ? " " : "") + std::to_string(moves[i]) + ":" +
                   std::to_string(status[i]);
        EXPECT_EQ(got, marks(out)) << in;
    }
}

// The front end's part of the set-up: locks, tables, shared state, task events.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(openGlobalLocks(TEST_IDENTITY, 0));
        ASSERT_EQ(makeEvalHash(evalHash, evalMapping, TEST_IDENTITY, 131072).status,
                  platform::MapStatus::Ok);
        ASSERT_EQ(makeTranspositionTable(tt, ttMapping, TEST_IDENTITY, 4 * 65536).status,
                  platform::MapStatus::Ok);
        ASSERT_NE(state = openSharedState(stateMapping, TEST_IDENTITY), nullptr);
        setSharedDefaults(*state);
        state->protocol = PROTOCOL_UCI, state->postThinking = 0;
        state->allSearchprocesEnabled = TASK_THINK;
        state->timer1.setLimit(100000), state->timer1.start();
        ASSERT_TRUE(createTaskEvents(startSearch, searchEnded, TEST_IDENTITY));
    }

    // This process as search process 0 of `processes`, with slaves 1..n
    // started (the others are numbers that no process answers to), once
    // slaves 1..idle are idle.
    void attach(int processes, int slaves = 0, int idle = -1) {
        state->numProcesses = processes;
        ASSERT_TRUE(initSearchContext(ctx, state, 0, TEST_IDENTITY));
        initEvaluation(&evalHash);
        initBoardTables(&state->ordering, board);
        for (int i = 1; i <= slaves; ++i) {
            startingChildren("search", out.fd[1], [&] {
                return platform::startProcess("tarvok", i, &state->processPid[i]);
            });
            children[i].pid = state->processPid[i];
        }
        for (int waited = 0; waited < 10000 && !slavesIdle(idle < 0 ? slaves : idle); waited += 5)
            platform::sleepMs(5);
        ASSERT_TRUE(slavesIdle(idle < 0 ? slaves : idle)) << "slaves idle";
        state->processState[0] = PROCESS_BUSY;
    }
    bool slavesIdle(int n) {
        return std::all_of(state->processState + 1, state->processState + n + 1,
                           [](auto& s) { return sharedLoad(s) == PROCESS_IDLE; });
    }

    void TearDown() override {
        state->running = 0;
        startSearch.signal();
        for (auto& e : ctx.startSlave) e.signal();
        for (auto& child : children) EXPECT_TRUE(child.pid <= 0 || child.wait(5000) == 0);
        printed([&] { destroySearchContext(ctx), closeSharedState(stateMapping); });
        printed(
            [&] { closeEvalHash(evalHash, evalMapping), closeTranspositionTable(tt, ttMapping); });
        closeGlobalLocks();
    }

    TestInstance instance;
    EvalHash evalHash;
    TranspositionTable tt;
    platform::SharedMapping evalMapping, ttMapping, stateMapping;
    SharedState* state = nullptr;
    platform::NamedEvent startSearch, searchEnded;
    SearchContext ctx{};
    Board board{};
    Pipe out;
    ChildProcess children[MAX_SEARCH_PROCESSES];
};

TEST_F(EngineTest, SearchProcessesFromStartToQuit) {
    constexpr int kProcesses = 3;
    state->numProcesses = kProcesses;
    for (int i = 0; i < kProcesses; ++i) state->numSplitBlock[i] = 7;
    pid_t pids[kProcesses];
    ASSERT_EQ(startingChildren("search", out.fd[1],
                               [&] { return startSearchProcesses("tarvok", kProcesses, pids); }),
              kProcesses);
    for (int i = 0; i < kProcesses; ++i) children[i].pid = pids[i];
    for (int i = 0; i < kProcesses; ++i) EXPECT_EQ(state->numSplitBlock[i], 0);
    // The slaves announce themselves idle, and again every second. (A bounded
    // drain: an event whose zero wait always succeeded would loop here.)
    attach(kProcesses, 0, 2);
    for (int drain = 0, signals = 0; drain < 2; ++drain, signals = 0) {
        platform::sleepMs(100);
        while (signals < 100 && ctx.slaveAvailable.wait(0) == WaitResult::Acquired) ++signals;
        ASSERT_LT(signals, 100) << "the slave-available event never ran dry";
    }
    EXPECT_EQ(ctx.slaveAvailable.wait(1600), WaitResult::Acquired);
    ASSERT_TRUE(startSearch.signal()); // process 0 answers the task
    EXPECT_EQ(searchEnded.wait(5000), WaitResult::Acquired);

    // Quit: process 0 wakes the slaves, and every process ends.
    state->running = 0;
    ASSERT_TRUE(startSearch.signal());
    EXPECT_EQ(reapSearchProcesses(pids, kProcesses, 5000), kProcesses);
    for (auto& child : children) child.pid = -1;
}

// Fixed-depth searches with one to three slaves: the mates at the depth where
// one process finds them, the others at the score one process finds (their
// shared tables make a few points' difference); every block free afterwards.
TEST_F(EngineTest, SplitSearchesFindWhatOneProcessFinds) {
    const std::tuple<const char*, int, int, const char*, int> cases[] = {
        // position, depth asked, depth reported, move, score
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 4, 2, "a1a8", SCORE_MATE},
        {"2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1", 6, 6, "g3g6", SCORE_MATE},
        {"r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - 0 1", 6, 3, "h6h7", SCORE_MATE},
        {"8/6pp/3q1p2/3n1k2/1P6/3NQ2P/5PP1/6K1 w - - 0 1", 8, 4, "g2g4", SCORE_MATE},
        {"r3k2r/pbp2pp1/3b1n2/1p6/3P3p/1B2N1Pq/PP1PQP1P/R1B2RK1 b kq - 0 1", 8, 4, "h3h2",
         SCORE_MATE},
        {"r2q1rk1/1pp1bppp/2n1bn2/p1P1p3/3pP3/P2P1N2/1PQNBPPP/1RB2RK1 b - -", 9, 9, "f6d7", 88},
        {"r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12", 9, 9, "c4d5", -7},
    };
    attach(4, 3);
    testing::internal::CaptureStdout();
    for (int n = 0; n <= 3; ++n) {
        state->numProcesses = n + 1; // slaves above n take no part
        for (auto [fen, depth, found, move, score] : cases) {
            SCOPED_TRACE(std::to_string(n) + " slaves: " + fen);
            setFromFen(board, fen);
            state->maxDepth = depth;
            ctx.tt.clear();
            RootReport report;
            char buf[16];
            EXPECT_STREQ(formatMove(searchRoot(ctx, board, &report), buf, true), move);
            EXPECT_NEAR(report.score, score, score == SCORE_MATE || n == 0 ? 0 : 10);
            EXPECT_EQ(report.depth, found);
            lockState(); // every block free, every slave idle and on no block
            for (int b = 1; b < SPLIT_BLOCK_COUNT; ++b)
                EXPECT_TRUE(!state->splitBlocks[b].numSlaves &&
                            (b < 2 || state->splitBlocks[b].owner == SPLIT_BLOCK_FREE))
                    << b;
            for (int i = 1; i <= 3; ++i)
                EXPECT_EQ(state->slaveBlock[i] + state->numSplitBlock[i], 0) << i;
            unlockState();
            EXPECT_TRUE(slavesIdle(3));
        }
    }
    std::string text = testing::internal::GetCapturedStdout() + out.receive(300, -1);
    for (const char* bad : {"ERROR", "WARNING", "Timeout", "@mutex"})
        EXPECT_EQ(text.find(bad), std::string::npos) << text;
}

// The owner of a block. A slave found entry 1 better than alpha, before the
// owner came to the block or while the owner waited at the list's end: the
// owner searches that move again with its full window, and mates. Then
// process 1 is claimable but has ended: the owner searches every move itself
// (to a pinned result) and counts the silent slave off as dead; what the
// block holds afterwards shows how it was filled from the picker.
TEST_F(EngineTest, TheOwnerSearchesAFailedHighMoveAgainAndFillsItsBlockFromThePicker) {
    attach(2);
    setFromFen(board, "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    board.rootPly = board.gamePly;
    SplitBlock& block = state->splitBlocks[2];
    for (bool atEntry : {true, false}) {
        SCOPED_TRACE(atEntry);
        ctx.tt.clear();
        block.owner = 0;
        generateLegal(board, block.moveList);
        std::swap(*std::find(block.moveList, block.moveList + MOVELIST_CAPACITY,
                             parseCoordinateMove(board, "a1a8")),
                  block.moveList[1]);
        std::fill(std::begin(block.status), std::end(block.status), 0);
        block.status[1] = atEntry ? MOVE_FAILED_HIGH : 0;
        block.nextMoveIndex = atEntry ? 3 : 2;
        block.stopFlag = atEntry, block.numSlaves = !atEntry;
        ChildProcess slave([&] {
            if (atEntry) return 0;
            platform::sleepMs(300);
            lockSplitBlock(ctx.splitLocks[2]);
            block.status[1] = MOVE_FAILED_HIGH, block.stopFlag = 1, block.numSlaves = 0;
            unlockSplitBlock(ctx.splitLocks[2]);
            return ctx.blockReady[2].signal() ? 0 : 1;
        });
        EXPECT_EQ(searchSplitPoint(ctx, 0, board, 3, 0, 500, 2, 0, TT_UPPER, NO_MOVE), SCORE_MATE);
        EXPECT_EQ(slave.wait(5000), 0);
    }
    block.owner = SPLIT_BLOCK_FREE;
    ctx.tt.clear();
    const pid_t deadPid = ChildProcess([] { return 0; }).pid; // reaped at once
    setFromFen(board, "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12");
    board.rootPly = board.gamePly;
    // Moves served before: none generated yet, among the captures, among the quiet moves.
    for (auto [served, score] : {std::pair{0, -10}, {2, -40}, {12, -40}}) {
        SCOPED_TRACE(served);
        state->processPid[1] = deadPid;
        state->processState[1] = PROCESS_IDLE;
        MovePicker picker;
        picker.init(board);
        for (int i = 0; i < served; ++i) ASSERT_NE(picker.next(), NO_MOVE);
        MovePicker expected = picker;
        expected.fillRest();
        SplitRequest request{0, &board, 5, -2000, 2000, -2000, TT_UPPER, NO_MOVE, &picker};
        int result = 0;
        EXPECT_EQ(printed([&] { EXPECT_TRUE(trySplit(ctx, request, result)); }),
                  "info string search process 1 died\n");
        EXPECT_EQ(state->processState[1], PROCESS_GONE);
        EXPECT_EQ(result, score);
        // The whole list; entries before the fill index keep their keys.
        const Move* list = expected.list().moves;
        int n = static_cast<int>(std::find(list, list + MOVELIST_CAPACITY, NO_MOVE) - list);
        EXPECT_TRUE(std::equal(list, list + n + 1, block.moveList));
        EXPECT_TRUE(std::equal(expected.list().scores,
                               expected.list().scores + expected.nextIndex(), block.status));
        EXPECT_EQ(block.nextMoveIndex, n);
        EXPECT_EQ(block.owner, SPLIT_BLOCK_FREE);
    }
}

} // namespace
