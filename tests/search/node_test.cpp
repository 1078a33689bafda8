// The node search's rules where a scenario decides the outcome: the null
// move, the extensions, the table's bounds, sentinels and time-outs (the
// signature pins quiescence, draws, futility margins and a mate below).
#include "search_fixture.h"

namespace {

constexpr int INF = SCORE_MATE;

using NodeTest = SearchTest;

TEST_F(NodeTest, NullMoveCounterConditionsAndCut) {
    auto withCount = [&](int count) {
        board().nullMoveCount = static_cast<std::uint8_t>(count);
        node(5, -INF, INF, true);
        return nodeCount();
    };
    // A second null move in a row is allowed, a third is not.
    setPosition(MIDDLEGAME);
    EXPECT_EQ(std::vector({withCount(0), withCount(1), withCount(2)}),
              std::vector<long long>({28492, 28492, 28489}));
    // Never in check, nor with only king and pawns, nor switched off.
    for (const char* fen : {"4k3/8/8/8/8/5n2/8/R3K2R w KQ - 0 1",
                            "4k3/pp3ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1", MIDDLEGAME}) {
        setPosition(fen);
        if (fen == MIDDLEGAME) shared().useNullMove = 0;
        EXPECT_EQ(withCount(0), withCount(2)) << fen;
    }
    EXPECT_EQ(withCount(0), 22895);
    // A queen and a knight up, passing still holds beta: the node and its
    // null child at 5 - 1 - 3 are all, where a search without it takes 41.
    setPosition("4k3/pppppppp/8/8/8/8/PPPPPPPP/3QK1N1 w - - 0 1");
    for (auto [on, nodes] : {std::pair{1, 2LL}, {0, 41LL}}) {
        shared().useNullMove = on;
        EXPECT_EQ((std::pair{node(5, -100, 100, true), nodeCount()}), std::pair(100, nodes));
    }
}

TEST_F(NodeTest, ChecksAndRecapturesAreSearchedOnePlyDeeper) {
    // At depth 1 every child is a quiescence search, except a child reached
    // by a check or by a recapture, which gets a full-width node of its own.
    // Only Ra8 gives check; after exd5 only the recapture cxd5 (not gxh4).
    for (int on : {1, 0}) {
        shared().useExtensions = on;
        setPosition("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
        node(1, -INF, INF, true);
        EXPECT_EQ(std::pair(ctx().nodes, nodeCount()), std::pair(1 + on, 1 + on + 17LL));
        setPosition("4k3/8/2p5/3p2p1/4P2P/8/8/4K3 w - - 0 1");
        play("e4d5");
        node(1, -INF, INF, true);
        EXPECT_EQ(std::pair(ctx().nodes, nodeCount()), std::pair(1 + on, on ? 32LL : 26LL));
    }
}

TEST_F(NodeTest, TheTableKeepsEachResultWithItsBound) {
    setPosition(MIDDLEGAME);
    const U64 key = board().boardkey;
    TranspositionTable& tt = ctx().tt;
    // Inside the window: an exact score, returned by later probes whatever
    // their window, so the same search again is one node.
    const int v = node(4, -INF, INF, true);
    EXPECT_EQ(std::pair(v, nodeCount()), std::pair(6, 4353LL));
    EXPECT_EQ((std::pair{node(4, -INF, INF), ctx().nodes}), std::pair(v, 1));
    EXPECT_EQ(tt.probe(key, 4, v + 1, v + 2), v);
    EXPECT_EQ(tt.probe(key, 5, -INF, INF), TT_NO_CUTOFF);
    // Failing low: an upper bound at alpha, no move.
    EXPECT_EQ(node(4, v + 200, v + 201, true), v + 200);
    EXPECT_EQ(tt.probe(key, 4, v + 200, v + 300), v + 200);
    EXPECT_EQ(tt.probe(key, 4, v + 199, v + 300), TT_NO_CUTOFF);
    EXPECT_EQ(tt.bestMove(key), NO_MOVE);
    // Failing high on a move (a null move's cut stores nothing): a lower
    // bound at beta, with the move that cut.
    shared().useNullMove = 0;
    EXPECT_EQ(node(4, v - 201, v - 200, true), v - 200);
    EXPECT_EQ(tt.probe(key, 4, -INF, v - 200), v - 200);
    EXPECT_EQ(tt.probe(key, 4, -INF, v - 199), TT_NO_CUTOFF);
    EXPECT_NE(tt.bestMove(key), NO_MOVE);
}

TEST_F(NodeTest, SwitchedOffStoppedOrTimedOutNodesReturnTheirSentinels) {
    setPosition(MIDDLEGAME);
    shared().allSearchprocesEnabled = 0;
    EXPECT_EQ((std::pair{node(4, -100, 100), ctx().nodes}), std::pair(int(SCORE_TIMEOUT), 0));
    shared().allSearchprocesEnabled = TASK_THINK;
    shared().splitBlocks[5].stopFlag = 1;
    EXPECT_EQ(node(3, -100, 100, false, 5), SCORE_SPLIT_ABORT);
    EXPECT_NE(node(3, -100, 100, false, 0), SCORE_SPLIT_ABORT);
    shared().splitBlocks[5].stopFlag = 0;
    // A time-out anywhere in the tree reaches the top unchanged.
    DrivenClock clock;
    DrivenClock::ticking = true; // every full-width node moves the clock on by 1 ms
    for (int limit : {1, 7, 60, 333, 2000})
        EXPECT_EQ(node(7, -INF, INF, true, 0, limit), SCORE_TIMEOUT) << limit;
}

} // namespace
