// Evaluations from a fresh state, random games, and default weights with no
// evaluation hash around every test (boards come from the board helpers).
#pragma once

#include <algorithm>

#include "../board/board_fixture.h"
#include "eval/evalhash.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "eval/trace.h"

// evaluate() over the full window with no estimate carried over; the traced
// evaluation (the developer tools' breakdown) must give the same.
inline int freshEval(Board board) {
    board.positional = lastPositional = 0;
    Board copy = board;
    eval::EvalTrace trace;
    EXPECT_EQ(eval::evaluateTraced(copy, -SCORE_INFINITE, SCORE_INFINITE, trace), trace.result);
    lastPositional = 0;
    const int score = evaluate(board, -SCORE_INFINITE, SCORE_INFINITE);
    EXPECT_EQ(trace.result, score) << "the traced evaluation differs";
    return score;
}

// Seeded random legal games from each position, every position on the way as FEN.
inline std::vector<std::string> randomPlay(const std::vector<std::string>& starts, int plies,
                                           unsigned x) {
    std::vector<std::string> out;
    for (const std::string& fen : starts) {
        Board board = boardFrom(fen);
        Move moves[MOVELIST_CAPACITY];
        for (int ply = 0, n; ply < plies && (n = generateLegal(board, moves)) > 0; ++ply) {
            x = x * 1103515245u + 12345u;
            makeMove(board, moves[(x >> 8) % n]);
            out.push_back(fenOf(board));
        }
    }
    return out;
}

class EvalTest : public ::testing::Test {
  protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        eval::resetEvaluationParameters();
        initEvaluation(nullptr);
    }
};

// The same with an evaluation hash of 1021 entries attached.
class WithHash : public EvalTest {
  protected:
    void SetUp() override {
        EvalTest::SetUp();
        hash.attach(entries, 1021);
        initEvaluation(&hash);
    }
    bool untouched() const {
        return std::all_of(entries, entries + 1021, [](U64 e) { return e == 0; });
    }
    U64 entries[1021] = {};
    EvalHash hash;
};
