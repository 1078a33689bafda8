// The driver: lazy cut-off, hash and fifty-move damping.
#include <cstring>
#include <vector>

#include "board/bitboard.h"
#include "board/tables.h"
#include "eval/evalhash.h"
#include "eval/evaluate.h"
#include "eval_support.h"

namespace {

using namespace evaltest;
using eval::EvalTrace;

class Driver : public EvalTest {};

TEST_F(Driver, StartPositionIsZeroForEitherSideToMove) {
    EXPECT_EQ(freshEval(boardFrom(START_FEN)), 0);
    EXPECT_EQ(freshEval(boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1")), 0);
    const EvalTrace t = traceOf(START_FEN);
    EXPECT_EQ(t.shelter.white, 12);
    EXPECT_EQ(t.shelter.black, 12);
    EXPECT_EQ(t.shelterValue[0], 9);
    EXPECT_EQ(t.shelterValue[1], 9);
}

// White to move and black to move, a score that 50 does not divide.
TEST_F(Driver, FiftyMoveDampingStartsAfterFiftyPlies) {
    for (const char* side : {"w", "b"}) {
        const std::string base = std::string("4k3/ppp5/8/8/3P4/8/5PPP/R3K3 ") + side + " - - ";
        const int plain = freshEval(boardFrom(base + "0 40"));
        ASSERT_NE(plain % 50, 0) << "pick a position whose score shows the truncation";
        EXPECT_EQ(freshEval(boardFrom(base + "50 40")), plain);
        EXPECT_EQ(freshEval(boardFrom(base + "51 40")), plain * 49 / 50);
        EXPECT_EQ(freshEval(boardFrom(base + "60 40")), plain * 40 / 50);
        EXPECT_EQ(freshEval(boardFrom(base + "99 40")), plain * 1 / 50);
        EXPECT_EQ(freshEval(boardFrom(base + "100 40")), 0);
        EXPECT_EQ(freshEval(boardFrom(base + "400 40")), 0);
    }
}

class WithHash : public Driver {
  protected:
    void SetUp() override {
        Driver::SetUp();
        std::memset(entries, 0, sizeof entries);
        hash.attach(entries, 1021);
        initEvaluation(&hash);
    }
    void TearDown() override {
        initEvaluation(nullptr);
        Driver::TearDown();
    }
    bool hashUntouched() const {
        for (U64 e : entries)
            if (e) return false;
        return true;
    }
    U64 entries[1021];
    EvalHash hash;
};

TEST_F(WithHash, HashHitIsDampedToo) {
    Board white = boardFrom("4k3/8/8/8/8/8/4P3/4K3 w - - 60 70");
    Board black = boardFrom("4k3/8/8/8/8/8/4P3/4K3 b - - 60 70");
    hash.store(white.boardkey, 100);
    hash.store(black.boardkey, 100);
    white.positional = black.positional = 0;
    lastPositional = 0;
    EXPECT_EQ(evaluate(white, -16000, 16000), 80);
    EXPECT_EQ(evaluate(black, -16000, 16000), -80);

    hash.store(white.boardkey, -101); // -80.8 truncates toward zero
    EXPECT_EQ(evaluate(white, -16000, 16000), -80);
    white.halfmoveClock = 51;
    hash.store(white.boardkey, 100);
    EXPECT_EQ(evaluate(white, -16000, 16000), 98);
    white.halfmoveClock = 50;
    EXPECT_EQ(evaluate(white, -16000, 16000), 100);
}

TEST_F(WithHash, FullEvaluationStoresWhiteMindedScoreAndHitRepeatsIt) {
    Board board = boardFrom("4k3/ppp5/8/8/3P4/8/5PPP/R3K3 b - - 60 40");
    hash.clear(); // reading the FEN evaluated it once already
    board.positional = 0;
    lastPositional = 0;
    const int first = evaluate(board, -16000, 16000);
    const std::int32_t stored = hash.probe(board.boardkey);
    ASSERT_NE(stored, TT_NO_CUTOFF);
    const int white = static_cast<std::int16_t>(stored & 0xFFFF);
    EXPECT_EQ(white, board.lazy + board.positional);
    EXPECT_EQ(first, -(white * 40 / 50));
    EXPECT_EQ(lastPositional, board.positional);

    // A hit answers without evaluating: the positional estimates stay put.
    board.positional = 1234;
    lastPositional = 4321;
    EXPECT_EQ(evaluate(board, -16000, 16000), first);
    EXPECT_EQ(board.positional, 1234);
    EXPECT_EQ(lastPositional, 4321);
}

TEST_F(WithHash, LazyCutOffNeedsBothEstimatesAndLeavesTheHashAlone) {
    // White is a rook up: lazy = 500.
    Board board = boardFrom("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    ASSERT_EQ(board.lazy, 500);
    Board black = boardFrom("4k3/8/8/8/8/8/8/R3K3 b - - 0 1");
    hash.clear(); // reading a FEN evaluates the position once
    board.positional = 0;
    lastPositional = 0;
    EXPECT_EQ(evaluate(board, 676, 700), 676); // 500 + 175 < 676
    EXPECT_TRUE(hashUntouched());
    EXPECT_EQ(board.positional, 0);
    EXPECT_EQ(lastPositional, 0);
    EXPECT_EQ(evaluate(board, -700, 324), 324); // 500 - 175 > 324
    EXPECT_TRUE(hashUntouched());

    // Black to move sees -500.
    black.positional = 0;
    EXPECT_EQ(evaluate(black, -324, 0), -324);
    EXPECT_EQ(evaluate(black, -1000, -676), -676);
    EXPECT_TRUE(hashUntouched());

    // One estimate inside the margin is enough to evaluate in full.
    board.positional = 10;
    evaluate(board, 676, 700);
    EXPECT_FALSE(hashUntouched());
    hash.clear();
    board.positional = 0;
    lastPositional = 10;
    evaluate(board, 676, 700);
    EXPECT_FALSE(hashUntouched());
    hash.clear();
    lastPositional = 0;
    evaluate(board, 675, 700); // 675 is not below alpha
    EXPECT_FALSE(hashUntouched());
}

} // namespace
