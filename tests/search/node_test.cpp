// The node search's rules where a scenario decides the outcome: a mate
// below, the null move, the extensions, the table's bounds, sentinels and
// time-outs. Quiescence, draws and futility margins are pinned by the
// search signature.
#include "board/attacks.h"
#include "eval/evaluate.h"
#include "eval/trace.h"
#include "search/movepick.h"
#include "search/quiescence.h"
#include "search_fixture.h"

namespace {

const char* const MIDDLEGAME =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";

class NodeTest : public SearchTest {
  protected:
    long long nodesOfSearch(int depth, int alpha, int beta) {
        env.clearTables();
        node(depth, alpha, beta);
        return static_cast<long long>(ctx().nodes) + ctx().quiescenceNodes;
    }
};

TEST_F(NodeTest, AMateBelowIsReturnedAtOnceWithTheMatingMoveStored) {
    setPosition("6rk/6pp/8/6N1/8/8/8/6K1 w - - 0 1");
    EXPECT_EQ(node(2, -100, 100), SCORE_MATE);
    EXPECT_EQ(ctx().tt.bestMove(board().boardkey), move("g5f7"));
    // The entry's bound never cuts: a probe at any window finds nothing.
    EXPECT_EQ(ctx().tt.probe(board().boardkey, 2, -100, 100), TT_NO_CUTOFF);
}

TEST_F(NodeTest, NullMoveCounterAndConditions) {
    setPosition(MIDDLEGAME);
    auto withCount = [&](int count) {
        board().nullMoveCount = static_cast<std::uint8_t>(count);
        return nodesOfSearch(5, -SCORE_MATE, SCORE_MATE);
    };
    long long none = withCount(2);
    EXPECT_NE(withCount(0), none);
    EXPECT_NE(withCount(1), none); // a second null move in a row is allowed
    EXPECT_EQ(withCount(2), none); // the search is repeatable

    // In check: never a null move.
    setPosition("4k3/8/8/8/8/5n2/8/R3K2R w KQ - 0 1");
    ASSERT_TRUE(inCheck(board()));
    EXPECT_EQ(withCount(0), withCount(2));

    // Only king and pawns: no null move.
    setPosition("4k3/pp3ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1");
    EXPECT_EQ(withCount(0), withCount(2));

    // Switched off: no null move anywhere.
    setPosition(MIDDLEGAME);
    long long on = withCount(0);
    shared().useNullMove = 0;
    EXPECT_NE(withCount(0), on);
    EXPECT_EQ(withCount(0), withCount(2));
}

TEST_F(NodeTest, ANullMoveFailingHighCutsTheNodeWithOneReducedSearch) {
    // White is a queen and a knight up: passing still holds beta.
    setPosition("4k3/pppppppp/8/8/8/8/PPPPPPPP/3QK1N1 w - - 0 1");
    EXPECT_EQ(nodesOfSearch(5, -100, 100), 2); // the node and its null child at 5 - 1 - 3
    EXPECT_EQ(node(5, -100, 100), 100);
    shared().useNullMove = 0;
    EXPECT_EQ(nodesOfSearch(5, -100, 100), 41);
    EXPECT_EQ(node(5, -100, 100), 100);
}

TEST_F(NodeTest, ChecksAndRecapturesAreSearchedOnePlyDeeper) {
    // At depth 1 every child is a quiescence search, except a child reached
    // by a check or by a recapture, which gets a full-width node of its own.
    setPosition("4k3/8/8/8/8/8/8/R3K3 w - - 0 1"); // only Ra8 gives check
    EXPECT_EQ(nodesOfSearch(1, -SCORE_MATE, SCORE_MATE), 2 + 17);
    EXPECT_EQ(ctx().nodes, 2);
    // After exd5 Black can recapture (cxd5) or take elsewhere (gxh4): only
    // the recapture is extended.
    setPosition("4k3/8/2p5/3p2p1/4P2P/8/8/4K3 w - - 0 1");
    play("e4d5");
    EXPECT_EQ(nodesOfSearch(1, -SCORE_MATE, SCORE_MATE), 2 + 30);
    EXPECT_EQ(ctx().nodes, 2);

    shared().useExtensions = 0;
    EXPECT_EQ(nodesOfSearch(1, -SCORE_MATE, SCORE_MATE), 1 + 25);
    setPosition("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(nodesOfSearch(1, -SCORE_MATE, SCORE_MATE), 1 + 17);
}

TEST_F(NodeTest, TheTableKeepsEachResultWithItsBound) {
    setPosition(MIDDLEGAME);
    const U64 key = board().boardkey;
    TranspositionTable& tt = ctx().tt;
    // Inside the window: an exact score, returned by later probes whatever
    // their window, so the same search again is one node.
    EXPECT_EQ(nodesOfSearch(4, -SCORE_MATE, SCORE_MATE), 4353);
    const int v = node(4, -SCORE_MATE, SCORE_MATE);
    EXPECT_EQ(v, 6);
    EXPECT_EQ(ctx().nodes, 1);
    EXPECT_EQ(tt.probe(key, 4, v + 1, v + 2), v);
    EXPECT_EQ(tt.probe(key, 5, -SCORE_MATE, SCORE_MATE), TT_NO_CUTOFF);
    // Failing low: an upper bound at alpha.
    env.clearTables();
    EXPECT_EQ(node(4, v + 200, v + 201), v + 200);
    EXPECT_EQ(tt.probe(key, 4, v + 200, v + 300), v + 200);
    EXPECT_EQ(tt.probe(key, 4, v + 199, v + 300), TT_NO_CUTOFF);
    EXPECT_EQ(tt.bestMove(key), NO_MOVE);
    // Failing high on a move (a null move's cut stores nothing): a lower
    // bound at beta, with the move that cut.
    shared().useNullMove = 0;
    env.clearTables();
    EXPECT_EQ(node(4, v - 201, v - 200), v - 200);
    EXPECT_EQ(tt.probe(key, 4, -SCORE_MATE, v - 200), v - 200);
    EXPECT_EQ(tt.probe(key, 4, -SCORE_MATE, v - 199), TT_NO_CUTOFF);
    EXPECT_NE(tt.bestMove(key), NO_MOVE);
}

TEST_F(NodeTest, SwitchedOffOrStoppedNodesReturnTheirSentinels) {
    setPosition(MIDDLEGAME);
    shared().allSearchprocesEnabled = 0;
    EXPECT_EQ(node(4, -100, 100), SCORE_TIMEOUT);
    EXPECT_EQ(ctx().nodes, 0);
    shared().allSearchprocesEnabled = TASK_THINK;

    shared().splitBlocks[5].stopFlag = 1;
    Board b = board();
    b.rootPly = b.gamePly;
    EXPECT_EQ(searchNode(ctx(), NO_MOVE, b, 3, -100, 100, 5), SCORE_SPLIT_ABORT);
    EXPECT_NE(searchNode(ctx(), NO_MOVE, b, 3, -100, 100, 0), SCORE_SPLIT_ABORT);
    shared().splitBlocks[5].stopFlag = 0;
}

TEST_F(NodeTest, ATimeOutAnywhereInTheTreeReachesTheTopUnchanged) {
    DrivenClock clock;
    DrivenClock::tickOnRead(true); // every full-width node moves the clock on by 1 ms
    setPosition(MIDDLEGAME);
    for (int limit : {1, 7, 60, 333, 2000}) {
        env.clearTables();
        Board b = board();
        b.rootPly = b.gamePly;
        shared().timer1.setLimit(limit);
        shared().timer1.start();
        EXPECT_EQ(searchNode(ctx(), NO_MOVE, b, 7, -SCORE_MATE, SCORE_MATE, 0), SCORE_TIMEOUT)
            << "limit " << limit;
    }
}

} // namespace
