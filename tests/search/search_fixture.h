// Helpers for the search tests: a private search environment with small
// tables, moves by coordinate text, node counts and a clock driven by hand.
#pragma once

#include "../board/board_fixture.h"
#include "search/node.h"
#include "search/standalone.h"
#include "search/timecontrol.h"

inline const char* const MIDDLEGAME =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";

// A clock the test moves by hand (wrapping like the millisecond clock);
// while ticking, each reading moves it on by one millisecond.
struct DrivenClock {
    DrivenClock() {
        setTimeSource([] { return ticking ? advance(1) : now; });
    }
    ~DrivenClock() {
        now = 100000;
        ticking = false;
        setTimeSource(nullptr);
    }
    static std::int32_t advance(std::int32_t ms) {
        return now = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) + ms);
    }
    static inline std::int32_t now = 100000;
    static inline bool ticking = false;
};

class SearchTest : public ::testing::Test {
  protected:
    SearchTest() : env(1 << 18, 1 << 18) {
        shared().postThinking = 0;
        shared().maxDepth = 35;
    }
    SharedState& shared() { return env.shared(); }
    SearchContext& ctx() { return env.context(); }
    Board& board() { return env.board(); }
    void setPosition(const char* fen) { env.setPosition(fen); }
    Move move(const char* text) {
        Move m = parseCoordinateMove(board(), text);
        EXPECT_NE(m, NO_MOVE) << text;
        return m;
    }
    void play(const char* text) { env.play(move(text)); }
    // The move of a search of the current position to a fixed depth, no time limit.
    std::string searchToDepth(int depth, RootReport* report = nullptr) {
        shared().maxDepth = depth;
        return moveText(env.search(1 << 30, report));
    }
    // Nodes of the last search: full-width plus quiescence.
    long long totalNodes() {
        return static_cast<long long>(static_cast<std::uint32_t>(shared().nodeCount)) +
               static_cast<std::uint32_t>(shared().quiescenceNodeCount);
    }
    // A node search of a copy of the current position, the root ply set as
    // the driver sets it, the counters cleared (and the tables when fresh).
    int node(int depth, int alpha, int beta, bool fresh = false, int block = 0,
             int limit = 1 << 30) {
        if (fresh) env.clearTables();
        Board b = board();
        b.rootPly = b.gamePly;
        ctx().nodes = 0;
        ctx().quiescenceNodes = 0;
        shared().timer1.setLimit(limit);
        shared().timer1.start();
        return searchNode(ctx(), NO_MOVE, b, depth, alpha, beta, block);
    }
    long long nodeCount() { return static_cast<long long>(ctx().nodes) + ctx().quiescenceNodes; }

    StandaloneSearch env;
};
