// Helpers for the search tests: a private search environment with small
// tables, moves by coordinate text, output capture and a driven clock.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "board/movegen.h"
#include "board/notation.h"
#include "search/node.h"
#include "search/standalone.h"
#include "search/timecontrol.h"

class SearchTest : public ::testing::Test {
  protected:
    SearchTest() : env(1 << 18, 1 << 18) {
        env.shared().postThinking = 0;
        env.shared().maxDepth = 35;
    }

    SharedState& shared() { return env.shared(); }
    SearchContext& ctx() { return env.context(); }
    Board& board() { return env.board(); }

    void setPosition(const char* fen) { env.setPosition(fen); }
    // The legal move of the current position named by text (e.g. "e7e8Q").
    Move move(const char* text) {
        Move m = parseCoordinateMove(board(), text);
        EXPECT_NE(m, NO_MOVE) << text;
        return m;
    }
    void play(const char* text) { env.play(move(text)); }
    bool isLegal(Move m) { return isLegalMove(board(), m); }
    static std::string text(Move m) {
        char buf[16];
        return formatMove(m, buf);
    }
    // A search of the current position to a fixed depth, no time limit.
    Move searchToDepth(int depth, RootReport* report = nullptr) {
        shared().maxDepth = depth;
        return env.search(1 << 30, report);
    }
    // Whole-node-count of the last search: full-width plus quiescence.
    long long totalNodes() {
        return static_cast<long long>(static_cast<std::uint32_t>(shared().nodeCount)) +
               static_cast<std::uint32_t>(shared().quiescenceNodeCount);
    }
    // A node search on a copy of the current position, with the root ply set
    // as the driver sets it and the node counters cleared.
    int node(int depth, int alpha, int beta) {
        Board b = board();
        b.rootPly = b.gamePly;
        ctx().nodes = 0;
        ctx().quiescenceNodes = 0;
        shared().timer1.setLimit(1 << 30);
        shared().timer1.start();
        return searchNode(ctx(), NO_MOVE, b, depth, alpha, beta, 0);
    }

    StandaloneSearch env;
};

// A clock the test moves by hand.
class DrivenClock {
  public:
    DrivenClock() {
        now_ = 100000;
        setTimeSource(&read);
    }
    ~DrivenClock() {
        tick_ = false;
        setTimeSource(nullptr);
    }
    static void set(std::int32_t ms) { now_ = ms; }
    static std::int32_t now() { return now_; }
    // Wraps like the millisecond clock it stands for.
    static void advance(std::int32_t ms) {
        now_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(now_) +
                                         static_cast<std::uint32_t>(ms));
    }
    // Each reading moves the clock on by one millisecond.
    static void tickOnRead(bool on) { tick_ = on; }

  private:
    static std::int32_t read() {
        if (tick_) advance(1);
        return now_;
    }
    static inline std::int32_t now_ = 100000;
    static inline bool tick_ = false;
};
