// The root driver: the cases without a search, the printed lines as whole
// text, the clock, the check extension and the root move re-ordering.
#include <sstream>

#include "eval/trace.h"
#include "search_fixture.h"

namespace {

class RootTest : public SearchTest {
  protected:
    // A search of a fresh root to depth with the clock standing still (every
    // time field 0), its move, and what it printed.
    std::string printedSearch(int depth) {
        DrivenClock clock;
        env.clearTables();
        shared().postThinking = 1;
        return stdoutOf([&] { found = searchToDepth(depth); });
    }
    // What searchRoot printed, its clock started the given milliseconds before
    // (spent when the limit is 0), with the task switch as given.
    std::string printedRoot(int limit, int elapsed, int task = TASK_THINK,
                            RootReport* report = nullptr) {
        shared().allSearchprocesEnabled = task;
        shared().timer1.setLimit(limit);
        shared().timer1.start();
        DrivenClock::advance(elapsed);
        Board root = board();
        return stdoutOf([&] { searchRoot(ctx(), root, report); });
    }
    std::string found;
};

TEST_F(RootTest, RootsWithoutASearchPrintNothing) {
    const std::pair<const char*, Move> cases[] = {
        {"k7/1Q6/1K6/8/8/8/8/8 b - - 0 1", NO_MOVES_MATED},
        {"k7/8/1Q6/8/8/8/8/7K b - - 0 1", NO_MOVES_STALEMATE},
        {"8/8/8/8/8/1q6/8/K6k w - - 0 1", NO_MOVES_STALEMATE},
        {"k7/8/1K6/8/8/8/8/1R6 b - - 0 1", makeMoveCode(A8, B8)}}; // the only move
    for (const auto& [fen, expected] : cases) {
        setPosition(fen);
        EXPECT_EQ(printedSearch(6) + found, moveText(expected)) << fen;
        EXPECT_EQ(totalNodes(), 0) << fen;
    }
}

// A position (and moves played to it), the protocol, the inverted-score
// switch and the depth -> the whole printed text.
struct Printed {
    const char* fen;
    const char* moves;
    int protocol, inverted, depth;
    const char* text;
};
const char* const ENDGAME = "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1";
const Printed PRINTED[] = {
    // Black's static evaluation is 77. Iteration 1: the first root move,
    // b3a3, falls more than 100 below it, so it is searched again with the
    // full window and shows its own score; each later move that beats the
    // zero window at the best score so far is searched again in full.
    {ENDGAME, "", PROTOCOL_XBOARD, 0, 4,
     " 1  -281  0  4 b3a3 \n 1  78  0  8 h7h6 \n 1  80  0  26 c4c3 \n 1  81  0  34 b3b8 \n"
     " 1  82  0  36 b3b7 \n 2  80  0  67 b3b7 h2h4 \n 3  95  0  264 b3b7 d2g2 b7e7 \n"
     " 4  88  0  410 b3b7 d2g2 b7e7 g2g8 \n 4  100  0  956 c4c3 d2d3 c3b2 d3d6 f6e7 \n"
     " Nodes=1003\n foundmove=c4c3\n\n"},
    // The same in UCI, with White's view of the score (Black is to move).
    {ENDGAME, "", PROTOCOL_UCI, 1, 2,
     "info depth 1 score cp 281 time 0 nodes 4 nps 0 pv b3a3 \n"
     "info depth 1 score cp -78 time 0 nodes 8 nps 0 pv h7h6 \n"
     "info depth 1 score cp -80 time 0 nodes 26 nps 0 pv c4c3 \n"
     "info depth 1 score cp -81 time 0 nodes 34 nps 0 pv b3b8 \n"
     "info depth 1 score cp -82 time 0 nodes 36 nps 0 pv b3b7 \n"
     "info depth 2 score cp -80 time 0 nodes 67 nps 0 pv b3b7 h2h4 \n Nodes=110\n"
     " foundmove=b3b7\n\n"},
    // The root itself repeats an earlier position: the lines still show the
    // root move (an empty line would be a malformed "pv" to a UCI GUI).
    {"4k3/r7/q7/8/8/8/8/6NK w - - 0 1", "g1f3 e8d8 f3g1 d8e8", PROTOCOL_XBOARD, 0, 3,
     " 1  -1296  0  1 g1f3 \n 2  -50  0  7 g1f3 \n 3  -50  0  16 g1f3 \n Nodes=24\n"
     " foundmove=g1f3\n\n"},
    // A mate by the first move ends the search at once.
    {"k7/2P5/1K6/8/8/8/8/8 w - - 0 1", "", PROTOCOL_XBOARD, 0, 10,
     " 1  1012  0  2 c7c8Q \n winning move, break!\n Nodes=12\n foundmove=c7c8Q\n\n"},
};

TEST_F(RootTest, PrintedLinesAsWholeText) {
    for (const Printed& p : PRINTED) {
        setPosition(p.fen);
        std::istringstream moves(p.moves);
        for (std::string m; moves >> m;) play(m.c_str());
        shared().protocol = p.protocol;
        ctx().printInvertedScore = p.inverted;
        EXPECT_EQ(printedSearch(p.depth), p.text) << p.fen << " depth " << p.depth;
    }
}

// A spent clock still gets a searched move: the first iteration always
// completes, and the search stops at the first move of the second. A search
// switched off stops at once (nobody plays its move).
TEST_F(RootTest, ASpentClockCompletesTheFirstIterationASwitchedOffSearchStopsAtOnce) {
    DrivenClock clock;
    setPosition(MIDDLEGAME);
    shared().maxDepth = DEFAULT_MAX_DEPTH;
    shared().postThinking = 1;
    ctx().printInvertedScore = 1; // White's view: the same when White is to move
    RootReport report;
    EXPECT_EQ(printedRoot(0, 1, TASK_THINK, &report),
              " 1  -229  0  5 f3e5 \n 1  -118  0  11 a2a3 \n 1  -117  0  15 b2b3 \n"
              " 1  14  0  19 d2d3 \n 1  27  0  30 f3g5 \n"
              " depth=2 only first move examined\npShared->allSearchprocesEnabled=1\n"
              "pShared->timer1.timeIsUp()=1\n Nodes=49\n"
              " average speed= 49.kNPS  total time elapsed= 1\n foundmove=f3g5\n\n");
    EXPECT_EQ(report.depth, 1);
    EXPECT_EQ(printedRoot(1 << 30, 1, TASK_STOP, &report),
              " depth=1 only first move examined\npShared->allSearchprocesEnabled=0\n"
              "pShared->timer1.timeIsUp()=0\n Nodes=5\n"
              " average speed= 5.kNPS  total time elapsed= 1\n foundmove=f3e5\n\n");
    EXPECT_EQ(report.depth, 0);
}

TEST_F(RootTest, AClockRunningOutMidIterationKeepsTheBestMoveSoFar) {
    DrivenClock clock;
    DrivenClock::ticking = true; // each reading moves the clock on by 1 ms
    setPosition(MIDDLEGAME);
    const std::tuple<int, const char*, int> rows[] = {
        {500, "d2d3", 4}, {5000, "f3g5", 6}, {20000, "b1c3", 7}};
    for (const auto& [limit, move, depth] : rows) {
        env.clearTables();
        RootReport report;
        EXPECT_EQ(moveText(env.search(limit, &report)), move) << limit;
        EXPECT_EQ(report.depth, depth) << limit;
    }
}

// Qd1+ Kxd1 Bg4+ mates; at depth 4 only the check extension sees it.
TEST_F(RootTest, ACheckingLineIsFollowedToTheMate) {
    setPosition("1k1r4/pp1b1R2/3q2pp/4p3/2B5/4Q3/PPP2B2/2K5 b - - 0 1");
    const std::tuple<std::int32_t SharedState::*, const char*, int, long long> rows[] = {
        {&SharedState::useEgtb, "d6d1", SCORE_MATE, 2899}, // the same as with every switch on
        {&SharedState::useExtensions, "b7b6", -283, 2745},
    };
    for (const auto& [sw, move, score, nodes] : rows) {
        shared().*sw = 0;
        env.clearTables();
        RootReport report;
        EXPECT_EQ(searchToDepth(4, &report), move);
        EXPECT_EQ(std::pair(report.score, totalNodes()), std::pair(score, nodes));
        shared().*sw = 1;
    }
}

TEST_F(RootTest, CurrentMoveLinesOnlyInUciAfterTheFirstSecond) {
    DrivenClock clock;
    setPosition(MIDDLEGAME);
    shared().maxDepth = 2;
    auto currentMoveLines = [&](int protocol, int elapsedBefore, int post = 1) {
        shared().protocol = protocol;
        shared().postThinking = post;
        const std::string out = printedRoot(1 << 30, elapsedBefore);
        int n = 0; // the lines numbered 1, 2, 3, ... in order
        for (auto at = out.find("info currmovenumber 1 currmove "); at != std::string::npos; ++n)
            at = out.find("info currmovenumber " + std::to_string(n + 2) + " currmove ", at);
        return post ? n : -static_cast<int>(out.size());
    };
    EXPECT_EQ(currentMoveLines(PROTOCOL_UCI, 1000), 0);
    EXPECT_EQ(currentMoveLines(PROTOCOL_UCI, 1001), 33);
    EXPECT_EQ(currentMoveLines(PROTOCOL_XBOARD, 1001), 0);
    EXPECT_EQ(currentMoveLines(PROTOCOL_UCI, 1001, 0), 0); // and nothing else printed
}

TEST(SortRootMoves, InterruptedAndFailedHighMarksKeepTheirValueAsKey) {
    Move moves[ROOT_LIST_SIZE] = {1000, 1001, 1002, 1003, 1004};
    std::int16_t scores[ROOT_LIST_SIZE] = {10, 20, -16302, 5, -16301};
    sortRootMoves(moves, scores, 5);
    EXPECT_EQ(std::vector<Move>(moves, moves + 5),
              (std::vector<Move>{1001, 1000, 1003, 1004, 1002}));
    EXPECT_EQ(std::vector<int>(scores, scores + 5),
              (std::vector<int>{20, 100, 97, -16301, -16302}));
}

} // namespace
