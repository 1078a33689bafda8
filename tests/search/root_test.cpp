// The root driver: mates, the cases without a search, draws by repetition,
// stopping, determinism, the switches, the thinking lines and the root
// move re-ordering.
#include <regex>
#include <sstream>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "eval/trace.h"
#include "search_fixture.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

const char* const MIDDLEGAME =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";

struct MateCase {
    const char* fen;
    std::vector<const char*> moves; // every move that mates in the given number
    int mateIn;
};

class RootTest : public SearchTest {};

TEST_F(RootTest, RootsWithoutASearch) {
    shared().postThinking = 1;
    struct Case {
        const char* fen;
        Move expected;
    };
    setPosition("k7/8/1K6/8/8/8/8/1R6 b - - 0 1"); // Kb8 is the only move
    const Move only = move("a8b8");
    const Case cases[] = {
        {"k7/1Q6/1K6/8/8/8/8/8 b - - 0 1", NO_MOVES_MATED},
        {"k7/8/1Q6/8/8/8/8/7K b - - 0 1", NO_MOVES_STALEMATE},
        {"8/8/8/8/8/1q6/8/K6k w - - 0 1", NO_MOVES_STALEMATE},
        {"k7/8/1K6/8/8/8/8/1R6 b - - 0 1", only},
    };
    for (const Case& c : cases) {
        setPosition(c.fen);
        CaptureStdout();
        Move m = searchToDepth(6);
        std::string out = GetCapturedStdout();
        EXPECT_EQ(m, c.expected) << c.fen;
        EXPECT_EQ(out, "") << c.fen;
        EXPECT_EQ(totalNodes(), 0) << c.fen;
    }
}

// A spent clock still gets a searched move: the first iteration always
// completes, and the search stops at the first move of the second. A search
// switched off stops at once (nobody plays its move).
TEST_F(RootTest, ASpentClockCompletesTheFirstIterationASwitchedOffSearchStopsAtOnce) {
    setPosition(MIDDLEGAME);
    RootReport oneDeep;
    const Move depthOneMove = searchToDepth(1, &oneDeep);
    shared().maxDepth = DEFAULT_MAX_DEPTH;
    shared().postThinking = 1;
    Move legal[MOVELIST_CAPACITY];
    generateLegal(board(), legal);
    ASSERT_NE(depthOneMove, legal[0]); // else the test could not tell the two apart

    DrivenClock clock;
    shared().timer1.setLimit(0);
    shared().timer1.start();
    DrivenClock::advance(1);
    Board root = board();
    RootReport report;
    CaptureStdout();
    Move m = searchRoot(ctx(), root, &report);
    std::string out = GetCapturedStdout();
    EXPECT_EQ(m, depthOneMove);
    EXPECT_EQ(report.depth, 1);
    EXPECT_EQ(report.score, oneDeep.score);
    EXPECT_NE(out.find(" depth=2 only first move examined\n"), std::string::npos) << out;
    EXPECT_NE(out.find("pShared->timer1.timeIsUp()=1\n"), std::string::npos) << out;

    shared().timer1.setLimit(1 << 30);
    shared().timer1.start();
    shared().allSearchprocesEnabled = TASK_STOP;
    root = board();
    CaptureStdout();
    m = searchRoot(ctx(), root, &report);
    out = GetCapturedStdout();
    EXPECT_EQ(m, legal[0]);
    EXPECT_EQ(report.depth, 0);
    EXPECT_NE(out.find(" depth=1 only first move examined\n"), std::string::npos) << out;
    EXPECT_NE(out.find("pShared->allSearchprocesEnabled=0\n"), std::string::npos) << out;
}

TEST_F(RootTest, AClockRunningOutMidIterationKeepsTheBestMoveSoFar) {
    DrivenClock clock;
    DrivenClock::tickOnRead(true);
    setPosition(MIDDLEGAME);
    for (int limit : {500, 5000, 20000}) {
        env.clearTables();
        RootReport report;
        Move m = env.search(limit, &report);
        EXPECT_TRUE(isLegal(m)) << limit;
        EXPECT_GE(report.depth, 1) << limit;
    }
}

TEST_F(RootTest, ASearchStartsWithoutTheHistoryAndKillersOfTheLastOne) {
    // Only the transposition table and the evaluation's state are cleared
    // between the searches: history and killers are the search's own job.
    auto run = [&](const char* fen) {
        ctx().tt.clear();
        lastPositional = 0;
        setPosition(fen);
        RootReport report;
        Move m = searchToDepth(6, &report);
        return std::make_pair(m, totalNodes());
    };
    auto first = run(MIDDLEGAME);
    run("r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12"); // leaves its traces
    auto second = run(MIDDLEGAME);
    EXPECT_EQ(first.first, second.first);
    EXPECT_EQ(first.second, second.second);
}

TEST_F(RootTest, EachSwitchOffStillGivesALegalMove) {
    setPosition("r2qr1k1/p1pbbppp/2p5/3n4/Q3N3/3B4/PPP2PPP/R1B1R1K1 w - - 7 13");
    env.clearTables();
    searchToDepth(5);
    const long long allOn = totalNodes();
    std::int32_t SharedState::*switches[] = {
        &SharedState::useNullMove, &SharedState::useLateMoveReduction, &SharedState::useFutility,
        &SharedState::useExtensions, &SharedState::useEgtb};
    for (auto sw : switches) {
        shared().*sw = 0;
        env.clearTables();
        Move m = searchToDepth(5);
        EXPECT_TRUE(isLegal(m));
        if (sw != &SharedState::useEgtb) {
            EXPECT_NE(totalNodes(), allOn); // the switch is read
        }
        shared().*sw = 1;
    }
}

// Kept on purpose: when the root position itself repeats an earlier one, the
// thinking lines still show the root move (an empty line would be a malformed
// "pv" to a UCI GUI).
TEST_F(RootTest, ARootRepetitionStillShowsTheRootMove) {
    setPosition("4k3/r7/q7/8/8/8/8/6NK w - - 0 1");
    for (const char* m : {"g1f3", "e8d8", "f3g1", "d8e8"}) play(m);
    shared().postThinking = 1;
    CaptureStdout();
    searchToDepth(3);
    std::istringstream lines(GetCapturedStdout());
    const std::regex thinking(R"(^ \d+  -?\d+  \d+  \d+ (.*)$)");
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, thinking)) continue;
        ++count;
        EXPECT_FALSE(m[1].str().empty()) << line;
    }
    EXPECT_GE(count, 3);
}

TEST_F(RootTest, ThinkingLinesShowTheRootWindowsAtWork) {
    // Black's static evaluation is 77. Iteration 1: the first root move,
    // b3a3, falls more than 100 below it, so it is searched again with the
    // full window and shows its own score; each later move that beats the
    // zero window at the best score so far is searched again in full and
    // printed. The clock stands still, so every time field is 0.
    DrivenClock clock;
    shared().postThinking = 1;
    setPosition("8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1");
    CaptureStdout();
    EXPECT_EQ(text(searchToDepth(4)), "c4c3");
    EXPECT_EQ(GetCapturedStdout(), " 1  -281  0  4 b3a3 \n"
                                   " 1  78  0  8 h7h6 \n"
                                   " 1  80  0  26 c4c3 \n"
                                   " 1  81  0  34 b3b8 \n"
                                   " 1  82  0  36 b3b7 \n"
                                   " 2  80  0  67 b3b7 h2h4 \n"
                                   " 3  95  0  264 b3b7 d2g2 b7e7 \n"
                                   " 4  88  0  410 b3b7 d2g2 b7e7 g2g8 \n"
                                   " 4  100  0  956 c4c3 d2d3 c3b2 d3d6 f6e7 \n"
                                   " Nodes=1003\n"
                                   " foundmove=c4c3\n\n");

    shared().protocol = PROTOCOL_UCI;
    env.clearTables();
    CaptureStdout();
    searchToDepth(2);
    EXPECT_EQ(GetCapturedStdout(), "info depth 1 score cp -281 time 0 nodes 4 nps 0 pv b3a3 \n"
                                   "info depth 1 score cp 78 time 0 nodes 8 nps 0 pv h7h6 \n"
                                   "info depth 1 score cp 80 time 0 nodes 26 nps 0 pv c4c3 \n"
                                   "info depth 1 score cp 81 time 0 nodes 34 nps 0 pv b3b8 \n"
                                   "info depth 1 score cp 82 time 0 nodes 36 nps 0 pv b3b7 \n"
                                   "info depth 2 score cp 80 time 0 nodes 67 nps 0 pv b3b7 h2h4 \n"
                                   " Nodes=110\n"
                                   " foundmove=b3b7\n\n");
}

TEST_F(RootTest, ACheckingLineIsFollowedToTheMate) {
    // Qd1+ Kxd1 Bg4+ mates; at depth 4 only the check extension sees it.
    setPosition("1k1r4/pp1b1R2/3q2pp/4p3/2B5/4Q3/PPP2B2/2K5 b - - 0 1");
    RootReport report;
    EXPECT_EQ(text(searchToDepth(4, &report)), "d6d1");
    EXPECT_EQ(report.score, SCORE_MATE);
    EXPECT_EQ(totalNodes(), 2899);
    shared().useExtensions = 0;
    env.clearTables();
    EXPECT_EQ(text(searchToDepth(4, &report)), "b7b6");
    EXPECT_EQ(report.score, -283);
}

TEST_F(RootTest, CurrentMoveLinesOnlyInUciAfterTheFirstSecond) {
    DrivenClock clock;
    setPosition(MIDDLEGAME);
    shared().postThinking = 1;
    shared().protocol = PROTOCOL_UCI;
    auto output = [&](int elapsedBefore) {
        env.clearTables();
        shared().maxDepth = 2;
        shared().timer1.setLimit(1 << 30);
        shared().timer1.start();
        DrivenClock::advance(elapsedBefore);
        Board root = board();
        CaptureStdout();
        searchRoot(ctx(), root);
        return GetCapturedStdout();
    };
    EXPECT_EQ(output(1000).find("currmove"), std::string::npos);
    std::string late = output(1001);
    EXPECT_NE(late.find("info currmovenumber 1 currmove "), std::string::npos) << late;
    EXPECT_NE(late.find("info currmovenumber 2 currmove "), std::string::npos) << late;

    shared().protocol = PROTOCOL_XBOARD;
    EXPECT_EQ(output(1001).find("currmove"), std::string::npos);
    shared().postThinking = 0;
    EXPECT_EQ(output(1001), "");
}

TEST_F(RootTest, InvertedScoreShowsWhitesViewWhenBlackIsToMove) {
    DrivenClock clock;
    shared().postThinking = 1;
    auto firstLine = [&](int inverted) {
        ctx().printInvertedScore = inverted;
        env.clearTables();
        CaptureStdout();
        searchToDepth(1);
        std::string out = GetCapturedStdout();
        return out.substr(0, out.find('\n'));
    };
    setPosition("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5Q2/PPPP1PPP/RNB1K1NR b KQkq - 3 3");
    EXPECT_EQ(firstLine(0), " 1  -188  0  4 f6e4 ");
    EXPECT_EQ(firstLine(1), " 1  188  0  4 f6e4 ");
    setPosition(MIDDLEGAME); // White to move: unchanged
    EXPECT_EQ(firstLine(1), firstLine(0));
}

TEST_F(RootTest, AMateByTheFirstMoveEndsTheSearchAtOnce) {
    shared().postThinking = 1;
    setPosition("k7/2P5/1K6/8/8/8/8/8 w - - 0 1");
    CaptureStdout();
    RootReport report;
    searchToDepth(10, &report);
    std::string out = GetCapturedStdout();
    EXPECT_NE(out.find(" winning move, break!\n"), std::string::npos) << out;
    EXPECT_EQ(report.depth, 2);
}

class SortRootMovesTest : public ::testing::Test {
  protected:
    Move moves[ROOT_LIST_SIZE] = {};
    std::int16_t scores[ROOT_LIST_SIZE] = {};
    void set(std::vector<int> s) {
        for (size_t i = 0; i < s.size(); ++i) {
            moves[i] = static_cast<Move>(1000 + i);
            scores[i] = static_cast<std::int16_t>(s[i]);
        }
    }
    std::vector<int> order(int n) {
        std::vector<int> o;
        for (int i = 0; i < n; ++i) o.push_back(moves[i] - 1000);
        return o;
    }
};

TEST_F(SortRootMovesTest, InterruptedAndFailedHighMarksKeepTheirValueAsKey) {
    set({10, 20, -16302, 5, -16301});
    sortRootMoves(moves, scores, 5);
    EXPECT_EQ(order(5), (std::vector<int>{1, 0, 3, 4, 2}));
    EXPECT_EQ(scores[0], 20);
    EXPECT_EQ(scores[3], -16301);
    EXPECT_EQ(scores[4], -16302);
}

} // namespace
