// The split search with real slave processes: this test is search process 0
// (and the front end's part of the set-up); the slaves are this program
// started again with their numbers. Also the split list's re-ordering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/movegen.h"
#include "board/notation.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "process_helpers.h"
#include "search/movepick.h"
#include "search/node.h"
#include "search/root.h"
#include "smp/context_setup.h"
#include "smp/hash_tables.h"
#include "smp/locks.h"
#include "smp/search_process.h"
#include "smp/split.h"

namespace {

// ---- The split list's re-ordering ----

struct Entry {
    Move move;
    int status;
};

struct ListResult {
    std::vector<Entry> entries;
    int index;
};

ListResult reorder(const std::vector<Entry>& in, int n) {
    Move moves[MOVELIST_CAPACITY] = {};
    std::int16_t status[MOVELIST_CAPACITY] = {};
    for (std::size_t i = 0; i < in.size(); ++i) {
        moves[i] = in[i].move;
        status[i] = static_cast<std::int16_t>(in[i].status);
    }
    int index = reorderSplitList(moves, status, n);
    ListResult r{{}, index};
    for (std::size_t i = 0; i < in.size(); ++i) r.entries.push_back({moves[i], status[i]});
    return r;
}

std::vector<Move> movesOf(const ListResult& r) {
    std::vector<Move> m;
    for (const Entry& e : r.entries) m.push_back(e.move);
    return m;
}

TEST(ReorderSplitList, FailedHighEntriesComeLastAmongTheSearchedAndTheIndexPointsAtTheFirst) {
    // Five handed out: a fail-high at 1 and 3, an interrupted move at 2;
    // entries 5 and 6 not handed out, one of them marked failed high.
    ListResult r = reorder({{11, 30},
                            {12, MOVE_FAILED_HIGH},
                            {13, MOVE_INTERRUPTED},
                            {14, MOVE_FAILED_HIGH},
                            {15, 40},
                            {16, 7},
                            {17, MOVE_FAILED_HIGH},
                            {0, 0}},
                           5);
    // 15 beat 11, so it leads; then 11; then the two failed-high moves, then
    // the interrupted one. The running best (40) goes into the two leaders.
    EXPECT_EQ(movesOf(r), (std::vector<Move>{15, 11, 12, 14, 13, 16, 17, 0}));
    EXPECT_EQ(r.index, 2);
    EXPECT_EQ(r.entries[0].status, 40);
    EXPECT_EQ(r.entries[1].status, 40);
    EXPECT_EQ(r.entries[2].status, MOVE_FAILED_HIGH);
    EXPECT_EQ(r.entries[3].status, MOVE_FAILED_HIGH);
    EXPECT_EQ(r.entries[4].status, MOVE_INTERRUPTED);
    EXPECT_EQ(r.entries[6].status, MOVE_FAILED_HIGH); // beyond n: keeps its mark and place
}

TEST(ReorderSplitList, OrderingKeysAboveTheScoresCountAsScores) {
    // Entries below the fill index keep the picker's keys, which may exceed
    // any score: they then lead like scores would.
    ListResult r = reorder({{21, 900}, {22, -20}, {23, 1200}, {24, MOVE_FAILED_HIGH}, {0, 0}}, 4);
    EXPECT_EQ(movesOf(r), (std::vector<Move>{23, 21, 22, 24, 0}));
    EXPECT_EQ(r.index, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r.entries[i].status, 1200) << i;
}

TEST(ReorderSplitList, WithoutAFailHighTheIndexIsTheListsEndAndAnEmptyListGivesZero) {
    ListResult r = reorder({{31, 5}, {32, 9}, {33, 1}, {0, 0}}, 3);
    EXPECT_EQ(movesOf(r), (std::vector<Move>{32, 31, 33, 0}));
    EXPECT_EQ(r.index, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r.entries[i].status, 9) << i;
    // Interrupted entries are no fail-high: the index still runs to the end.
    r = reorder({{41, MOVE_INTERRUPTED}, {42, 3}, {0, 0}}, 2);
    EXPECT_EQ(movesOf(r), (std::vector<Move>{42, 41, 0}));
    EXPECT_EQ(r.index, 2);
    EXPECT_EQ(reorder({{0, 0}}, 0).index, 0);
    EXPECT_EQ(reorder({{0, 0}}, 5).index, 0);
}

// ---- Real slaves ----

// This process as search process 0 of an instance of its own, with
// `slaves` slave processes started from this program.
class SplitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/tarvok-split-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        directory = dir;
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(directory.c_str()), 0);
        FILE* f = std::fopen(SETTINGS_FILE_NAME, "w");
        ASSERT_NE(f, nullptr);
        std::fputs("pref:size-hashtable=4\n", f);
        std::fclose(f);
        ASSERT_TRUE(openGlobalLocks(TEST_IDENTITY, 0));
        // The front end's part: the tables this process and the slaves attach.
        ASSERT_EQ(makeEvalHash(evalHash, evalMapping, TEST_IDENTITY, 131072).status,
                  platform::MapStatus::Ok);
        ASSERT_EQ(makeTranspositionTable(frontTt, frontTtMapping, TEST_IDENTITY, 4 * 65536).status,
                  platform::MapStatus::Ok);
        state = openSharedState(stateMapping, TEST_IDENTITY);
        ASSERT_NE(state, nullptr);
        setSharedDefaults(*state);
        state->protocol = PROTOCOL_UCI;
        state->postThinking = 0;
        state->allSearchprocesEnabled = TASK_THINK;
        ASSERT_TRUE(createTaskEvents(startSearch, searchEnded, TEST_IDENTITY));
    }

    // Starts slaves 1..n (process count n + 1 plus `extra` numbers that no
    // process answers to) and waits until they are idle.
    void startSlaves(int n, int extra = 0) {
        state->numProcesses = n + 1 + extra;
        ASSERT_TRUE(initSearchContext(ctx, state, 0, TEST_IDENTITY));
        contextOpen = true;
        initEvaluation(&evalHash);
        initBoardTables(&state->ordering, board);
        std::fflush(stdout);
        int savedOut = dup(1);
        dup2(out.writeEnd(), 1);
        setenv(TEST_CHILD_ENV, "search", 1);
        for (int i = 1; i <= n; ++i) {
            pid_t pid = -1;
            int error = platform::startProcess("tarvok", i, &pid);
            if (error == 0) {
                slaves[i].adopt(pid);
                state->processPid[i] = pid;
            }
        }
        unsetenv(TEST_CHILD_ENV);
        dup2(savedOut, 1);
        close(savedOut);
        ASSERT_TRUE(waitUntil(
            [&] {
                for (int i = 1; i <= n; ++i)
                    if (sharedLoad(state->processState[i]) != PROCESS_IDLE) return false;
                return true;
            },
            10000))
            << "slaves idle";
        state->processState[0] = PROCESS_BUSY;
        slaveCount = n;
        state->timer1.setLimit(100000);
        state->timer1.start();
    }

    void TearDown() override {
        if (state) {
            state->running = 0;
            for (int i = 1; i <= slaveCount; ++i) ctx.startSlave[i].signal();
            for (int i = 1; i <= slaveCount; ++i) EXPECT_EQ(slaves[i].wait(5000), 0) << i;
        }
        testing::internal::CaptureStdout();
        if (contextOpen) destroySearchContext(ctx);
        if (state) closeSharedState(stateMapping);
        closeEvalHash(evalHash, evalMapping);
        closeTranspositionTable(frontTt, frontTtMapping);
        testing::internal::GetCapturedStdout();
        startSearch.close();
        searchEnded.close();
        closeGlobalLocks();
        std::remove(SETTINGS_FILE_NAME);
        if (previous[0] && chdir(previous) == 0) rmdir(directory.c_str());
    }

    void setPosition(const char* fen) { setFromFen(board, fen); }

    Move searchToDepth(int depth, RootReport* report) {
        state->maxDepth = depth;
        state->timer1.setLimit(100000);
        state->timer1.start();
        Board root = board;
        return searchRoot(ctx, root, report);
    }

    // Every block 2..99 free, the root block left by all, every slave idle
    // and attached to nothing.
    void expectAllFree() {
        lockState();
        for (int b = 1; b < SPLIT_BLOCK_COUNT; ++b) {
            EXPECT_EQ(state->splitBlocks[b].numSlaves, 0) << b;
            if (b >= 2) {
                EXPECT_EQ(state->splitBlocks[b].owner, SPLIT_BLOCK_FREE) << b;
            }
        }
        for (int i = 1; i <= slaveCount; ++i) {
            EXPECT_EQ(state->processState[i], PROCESS_IDLE) << i;
            EXPECT_EQ(state->slaveBlock[i], 0) << i;
            EXPECT_EQ(state->numSplitBlock[i], 0) << i;
        }
        unlockState();
    }

    std::string directory;
    char previous[4096] = "";
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
    ChildProcess slaves[MAX_SEARCH_PROCESSES];
    int slaveCount = 0;
};

Move moveFrom(const Board& b, const char* text) {
    Move legal[MOVELIST_CAPACITY];
    int n = generateLegal(b, legal);
    char buf[16];
    for (int i = 0; i < n; ++i)
        if (std::string(formatMove(legal[i], buf, true)) == text) return legal[i];
    return NO_MOVE;
}

// Fills block k as an owner would: the legal moves of the position, all to
// be handed out, and gives it to slaves 1..n.
void giveBlock(SearchContext& ctx, SharedState& s, int k, const Board& b, int depth, int alpha,
               int n) {
    SplitBlock& block = s.splitBlocks[k];
    lockState();
    lockSplitBlock(ctx.splitLocks[k]);
    block.owner = 0;
    block.board = b;
    block.ring = repetitionRing;
    block.move = NO_MOVE;
    block.depth = depth;
    block.alpha = alpha;
    block.beta = alpha + 1;
    for (auto& st : block.status) st = 0;
    generateLegal(b, block.moveList);
    block.nextMoveIndex = 0;
    block.stopFlag = 0;
    block.numSlaves = n;
    for (int i = 1; i <= n; ++i) {
        s.processState[i] = PROCESS_BUSY;
        s.slaveBlock[i] = k;
        s.slaveMoveIndex[i] = -1;
        s.numSplitBlock[i] = k;
    }
    unlockSplitBlock(ctx.splitLocks[k]);
    unlockState();
    for (int i = 1; i <= n; ++i) ctx.startSlave[i].signal();
}

TEST_F(SplitTest, TheSlaveThatBeatsAlphaMarksItsMoveAndStopsTheOthers) {
    startSlaves(3);
    // Only the capture of the queen keeps White above +200.
    setPosition("k7/8/8/3q4/8/8/8/K2R4 w - - 0 1");
    const Move win = moveFrom(board, "d1d5");
    ASSERT_NE(win, NO_MOVE);
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        const int k = 4 + n;
        giveBlock(ctx, *state, k, board, 3, 200, n);
        waitForSlaves(ctx, k);
        const SplitBlock& block = state->splitBlocks[k];
        int winIdx = -1;
        for (int i = 0; block.moveList[i] != NO_MOVE; ++i)
            if (block.moveList[i] == win) winIdx = i;
        ASSERT_GE(winIdx, 0);
        EXPECT_EQ(block.stopFlag, 1);
        EXPECT_EQ(block.status[winIdx], MOVE_FAILED_HIGH);
        for (int i = 0; i < block.nextMoveIndex; ++i) {
            if (i == winIdx) continue;
            EXPECT_TRUE(block.status[i] == 200 || block.status[i] == MOVE_INTERRUPTED)
                << i << ": " << block.status[i];
        }
        // One slave takes the moves in order and stops at the winning one.
        if (n == 1) {
            EXPECT_EQ(block.nextMoveIndex, winIdx + 1);
        }
        lockSplitBlock(ctx.splitLocks[k]);
        state->splitBlocks[k].owner = SPLIT_BLOCK_FREE;
        unlockSplitBlock(ctx.splitLocks[k]);
        expectAllFree();
    }
}

TEST_F(SplitTest, AnOwnerFindingItsBlockStoppedSearchesTheFailedHighMoveAgainWithItsWindow) {
    // The slaves have left; the one at entry 1 found it better than alpha.
    // The owner must search that move itself, with its full window: it mates.
    startSlaves(0);
    setPosition("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    board.rootPly = board.gamePly;
    SplitBlock& block = state->splitBlocks[2];
    giveBlock(ctx, *state, 2, board, 3, 0, 0);
    const Move mate = moveFrom(board, "a1a8");
    Move* list = block.moveList;
    std::swap(*std::find(list, list + MOVELIST_CAPACITY, mate), list[1]);
    block.status[0] = block.status[2] = 0;
    block.status[1] = MOVE_FAILED_HIGH;
    block.nextMoveIndex = 3;
    block.stopFlag = 1;
    EXPECT_EQ(searchSplitPoint(ctx, 0, board, 3, 0, 500, 2, 0, TT_UPPER, NO_MOVE), SCORE_MATE);
    EXPECT_EQ(block.stopFlag, 1); // the mate stops the block
    EXPECT_EQ(block.numSlaves, 0);
}

TEST_F(SplitTest, MatesAreFoundWithOneTwoAndThreeSlaves) {
    struct Case {
        const char* fen;
        const char* move;
        int depth;
    };
    const Case cases[] = {
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "a1a8", 4},
        {"2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1", "g3g6", 6},
        {"r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - 0 1", "h6h7", 6},
        {"8/6pp/3q1p2/3n1k2/1P6/3NQ2P/5PP1/6K1 w - - 0 1", "g2g4", 8},
        {"r3k2r/pbp2pp1/3b1n2/1p6/3P3p/1B2N1Pq/PP1PQP1P/R1B2RK1 b kq - 0 1", "h3h2", 8},
    };
    startSlaves(3);
    testing::internal::CaptureStdout();
    for (int n = 1; n <= 3; ++n) {
        // Slaves above n take no part: they count as not attached.
        state->numProcesses = n + 1;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(n) + " slaves: " + c.fen);
            setPosition(c.fen);
            ctx.tt.clear();
            RootReport report;
            Move m = searchToDepth(c.depth, &report);
            char buf[16];
            EXPECT_STREQ(formatMove(m, buf, true), c.move);
            EXPECT_EQ(report.score, SCORE_MATE);
            expectAllFree();
        }
    }
    state->numProcesses = 4;
    std::string text = testing::internal::GetCapturedStdout() + out.receiveAll(300);
    EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
}

TEST_F(SplitTest, DeepSearchesSplitInsideSlavesAndLeaveEveryBlockFree) {
    startSlaves(3);
    const char* fens[] = {
        "r2q1rk1/1pp1bppp/2n1bn2/p1P1p3/3pP3/P2P1N2/1PQNBPPP/1RB2RK1 b - -",
        "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12",
    };
    testing::internal::CaptureStdout();
    for (const char* fen : fens) {
        SCOPED_TRACE(fen);
        setPosition(fen);
        RootReport report;
        Move m = searchToDepth(9, &report);
        EXPECT_EQ(report.depth, 9);
        Move legal[MOVELIST_CAPACITY];
        int n = generateLegal(board, legal);
        EXPECT_NE(std::find(legal, legal + n, m), legal + n);
        expectAllFree();
        // The slaves did count nodes into the totals.
        EXPECT_GT(static_cast<std::uint32_t>(state->nodeCount), 0u);
    }
    std::string text = testing::internal::GetCapturedStdout() + out.receiveAll(300);
    for (const char* bad : {"ERROR", "WARNING", "Timeout", "@mutex"})
        EXPECT_EQ(text.find(bad), std::string::npos) << text;
}

TEST_F(SplitTest, ANodeFillsItsBlockFromThePickerAtEachStage) {
    // Process 1 is claimable but never takes a move (no process runs as it):
    // the owner searches every move itself, then counts the silent slave off
    // as dead. What the block holds afterwards shows how it was filled.
    startSlaves(0, 1);
    ChildProcess gone(forkChild([] { return 0; }));
    pid_t deadPid = gone.pid();
    ASSERT_EQ(gone.wait(5000), 0);
    setPosition("r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12");
    for (int served : {0, 2, 12}) { // before generating, among captures, among quiet moves
        SCOPED_TRACE(served);
        state->processPid[1] = deadPid;
        state->processState[1] = PROCESS_IDLE;
        MovePicker picker;
        picker.init(board);
        for (int i = 0; i < served; ++i) ASSERT_NE(picker.next(), NO_MOVE);
        MovePicker expected = picker;
        expected.fillRest();
        Board node = board;
        node.rootPly = node.gamePly;
        SplitRequest request{0, &node, 5, -2000, 2000, -2000, TT_UPPER, NO_MOVE, &picker};
        int result = 0;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(trySplit(ctx, request, result));
        std::string text = testing::internal::GetCapturedStdout();
        EXPECT_EQ(text, "info string search process 1 died\n");
        EXPECT_EQ(state->processState[1], PROCESS_GONE);
        EXPECT_TRUE(result > -2000 && result < 2000) << result;

        const SplitBlock& block = state->splitBlocks[2];
        EXPECT_EQ(block.owner, SPLIT_BLOCK_FREE);
        EXPECT_EQ(block.numSlaves, 0);
        const MoveList& list = expected.list();
        int i = 0;
        for (; list.moves[i] != NO_MOVE; ++i) {
            EXPECT_EQ(block.moveList[i], list.moves[i]) << i;
            // Entries before the fill index keep their keys; the others were
            // handed out, to the owner, at its alpha.
            if (i < expected.nextIndex()) {
                EXPECT_EQ(block.status[i], list.scores[i]) << i;
            } else {
                EXPECT_TRUE(block.status[i] >= -2000 && block.status[i] < 2000) << i;
            }
        }
        EXPECT_EQ(block.moveList[i], NO_MOVE);
        EXPECT_EQ(block.nextMoveIndex, i);
    }
}

} // namespace
