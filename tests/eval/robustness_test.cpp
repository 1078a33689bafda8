// evaluate() on random and odd boards: it stays within the score bounds, never
// reads outside its tables (the sanitizer build runs this), changes nothing of
// the board but its positional estimate, and stores what it computed.
#include <cstring>
#include <random>

#include "eval/evalhash.h"
#include "eval_support.h"

namespace {

using namespace evaltest;

// Any placement: a king a side (one board in twenty has none or two), up to
// 15 more pieces a side, pawns anywhere, random rights, en passant and clock.
std::string randomFen(std::mt19937& rng) {
    std::string squares(64, '1');
    const int kings = rng() % 20 == 0 ? rng() % 3 : 1;
    std::string pieces = std::string(kings, 'K') + std::string(kings, 'k');
    for (int i = rng() % 16; i > 0; --i) pieces += "PPPPPNNBBRRQ"[rng() % 12];
    for (int i = rng() % 16; i > 0; --i) pieces += "ppppnnbbrrqq"[rng() % 12];
    for (char p : pieces) squares[rng() % 64] = p;
    std::string fen;
    for (int rank = 0; rank < 8; ++rank) fen += squares.substr(8 * rank, 8) + (rank < 7 ? "/" : "");
    const char* eps[] = {"-", "-", "c3", "f6"};
    return fen + (rng() % 2 ? " w " : " b ") + std::string("KQkq").substr(rng() % 5) + " " +
           eps[rng() % 4] + " " + std::to_string(rng() % 130) + " 1";
}

class Robustness : public EvalTest {
  protected:
    void SetUp() override {
        EvalTest::SetUp();
        hash.attach(entries, 4099);
        initEvaluation(&hash);
    }

    // Full window: in bounds, the board untouched but for positional, the
    // stored white-minded score that positional, a second call a hit with the
    // same answer. Random window: in bounds.
    void check(Board board, std::mt19937& rng, const std::string& fen) {
        hash.clear();
        lastPositional = static_cast<int>(rng() % 2001) - 1000;
        board.positional = static_cast<int>(rng() % 2001) - 1000;
        Board before = board;
        const int score = evaluate(board, -SCORE_INFINITE, SCORE_INFINITE);
        ASSERT_LE(std::abs(score), SCORE_INFINITE) << fen;
        before.positional = board.positional;
        ASSERT_EQ(std::memcmp(&before, &board, sizeof board), 0) << fen;
        ASSERT_EQ(lastPositional, board.positional) << fen;
        const std::int16_t stored = static_cast<std::int16_t>(hash.probe(board.boardkey) & 0xFFFF);
        ASSERT_EQ(stored, board.lazy + board.positional) << fen;
        ASSERT_EQ(evaluate(board, -SCORE_INFINITE, SCORE_INFINITE), score) << fen;
        hash.clear();
        const int alpha = static_cast<int>(rng() % 4001) - 2000;
        ASSERT_LE(std::abs(evaluate(board, alpha, alpha + 1 + rng() % 400)), SCORE_INFINITE) << fen;
    }

    U64 entries[4099] = {};
    EvalHash hash;
};

TEST_F(Robustness, RandomPlacementsAndGamesStayInBounds) {
    std::mt19937 rng(2024);
    for (int i = 0; i < 3000 && !HasFatalFailure(); ++i) {
        const std::string fen = randomFen(rng);
        check(boardFrom(fen), rng, fen);
    }
    for (const std::string& fen : randomPlay(std::vector<std::string>(10, START_FEN), 200, 99))
        if (!HasFatalFailure()) check(boardFrom(fen), rng, fen);
}

TEST_F(Robustness, DegenerateBoards) {
    for (const char* fen :
         {"", "8/8/8/8/8/8/8/8 w - - 0 1", "K7/8/8/8/8/8/8/8 b - - 0 1",
          "kkkkkkkk/KKKKKKKK/8/8/8/8/8/8 w - -", "QQQQQQQQ/QQQQQQQQ/8/8/8/8/k7/K7 w",
          "qqqqqqqq/qqqqqqqq/nnnnnnnn/8/8/K7/PPPPPPPP/RRRRRRRk b KQkq a3 999 1",
          "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 1000 1"}) {
        Board board = boardFrom(fen);
        board.positional = lastPositional = 0;
        const int score = evaluate(board, -SCORE_INFINITE, SCORE_INFINITE);
        EXPECT_TRUE(board.totalMat >= 12000 || std::abs(score) <= SCORE_INFINITE) << fen;
    }
}

// Material values from a settings file can make a divisor of the evaluation
// 0 (here the span between the starting material and 6000): the term it
// divides is then neutral, never the undivided product.
TEST_F(EvalTest, AZeroDivisorGivesANeutralTerm) {
    const MaterialValues saved = material;
    material.pawn = 99;
    material.queen = 8; // 2 * 8 + 4 * 500 + 8 * 300 + 16 * 99 = 6000
    rebuildValueTables();
    ASSERT_EQ(initialMaterial, 6000);
    for (const char* fen : {"rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w - - 0 1",
                            "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w KQkq - 0 1"}) {
        Board board = boardFrom(fen);
        eval::EvalTrace t;
        eval::evaluateTraced(board, -SCORE_INFINITE, SCORE_INFINITE, t);
        EXPECT_TRUE(t.shelterPhase && t.shelter.white == 0 && t.shelter.black == 0) << fen;
    }
    material = saved;
    rebuildValueTables();
}

} // namespace
