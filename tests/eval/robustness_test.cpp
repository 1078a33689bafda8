// evaluate() on random and odd boards: it stays within the score bounds, never
// reads outside its tables (the sanitizer build runs this), changes nothing of
// the board but its positional estimate, and stores what it computed.
#include <cstring>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/evalhash.h"
#include "eval/evaluate.h"
#include "eval_support.h"

namespace {

using namespace evaltest;

class Lcg {
  public:
    explicit Lcg(unsigned seed) : x_(seed) {}
    unsigned next(unsigned n) {
        x_ = x_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(x_ >> 33) % n;
    }

  private:
    unsigned long long x_;
};

// Any placement: one king a side (sometimes none or two), up to three queens
// and a random army, pawns anywhere, random rights, en passant and clocks.
std::string randomFen(Lcg& rng) {
    char squares[64];
    std::memset(squares, 0, sizeof squares);
    auto place = [&](char piece) {
        for (int tries = 0; tries < 64; ++tries) {
            const unsigned s = rng.next(64);
            if (!squares[s]) {
                squares[s] = piece;
                return;
            }
        }
    };
    const int kings = rng.next(20) == 0 ? static_cast<int>(rng.next(3)) : 1;
    for (int k = 0; k < kings; ++k) place('K'), place('k');
    for (char side : {'w', 'b'}) {
        const int pieces = static_cast<int>(rng.next(16));
        int queens = 0;
        for (int i = 0; i < pieces; ++i) {
            static const char kinds[] = "PPPPPNNBBRRQ";
            char c = kinds[rng.next(12)];
            if (c == 'Q' && ++queens > 3) c = 'P';
            place(side == 'w' ? c : static_cast<char>(c + 32));
        }
    }
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = squares[rank * 8 + file];
            if (!c) {
                ++empty;
                continue;
            }
            if (empty) fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += static_cast<char>('0' + empty);
        if (rank) fen += '/';
    }
    fen += rng.next(2) ? " w " : " b ";
    std::string rights;
    for (const char* r = "KQkq"; *r; ++r)
        if (rng.next(2)) rights += *r;
    fen += rights.empty() ? "-" : rights;
    fen += ' ';
    if (rng.next(3) == 0)
        fen += std::string(1, static_cast<char>('a' + rng.next(8))) + (rng.next(2) ? "3" : "6");
    else
        fen += '-';
    fen += ' ' + std::to_string(rng.next(130)) + " 1";
    return fen;
}

class Robustness : public EvalTest {
  protected:
    void SetUp() override {
        EvalTest::SetUp();
        std::memset(entries, 0, sizeof entries);
        hash.attach(entries, 4099);
        initEvaluation(&hash);
    }
    void TearDown() override {
        initEvaluation(nullptr);
        EvalTest::TearDown();
    }

    // Full window: in bounds, board untouched but for positional, the stored
    // white-minded score consistent with positional. Random window: in it or
    // at one of its ends when cut lazily.
    void check(Board board, Lcg& rng, const std::string& what) {
        hash.clear();
        lastPositional = static_cast<int>(rng.next(2001)) - 1000;
        board.positional = static_cast<int>(rng.next(2001)) - 1000;
        Board before = board;
        const int score = evaluate(board, -SCORE_INFINITE, SCORE_INFINITE);
        EXPECT_GE(score, -SCORE_INFINITE) << what;
        EXPECT_LE(score, SCORE_INFINITE) << what;
        before.positional = board.positional;
        EXPECT_EQ(std::memcmp(&before, &board, sizeof board), 0) << what;
        EXPECT_EQ(lastPositional, board.positional) << what;
        const std::int32_t stored = hash.probe(board.boardkey);
        ASSERT_NE(stored, TT_NO_CUTOFF) << what;
        EXPECT_EQ(static_cast<std::int16_t>(stored & 0xFFFF), board.lazy + board.positional)
            << what;
        // The same call again hits the hash and answers the same.
        EXPECT_EQ(evaluate(board, -SCORE_INFINITE, SCORE_INFINITE), score) << what;

        hash.clear();
        const int alpha = static_cast<int>(rng.next(4001)) - 2000;
        const int beta = alpha + 1 + static_cast<int>(rng.next(400));
        const int windowed = evaluate(board, alpha, beta);
        EXPECT_GE(windowed, -SCORE_INFINITE) << what;
        EXPECT_LE(windowed, SCORE_INFINITE) << what;
    }

    U64 entries[4099];
    EvalHash hash;
};

TEST_F(Robustness, RandomPlacementsStayInBounds) {
    Lcg rng(2024);
    for (int i = 0; i < 3000; ++i) {
        const std::string fen = randomFen(rng);
        check(boardFrom(fen), rng, fen);
    }
}

TEST_F(Robustness, RandomGamesStayInBounds) {
    Lcg rng(99);
    for (const std::string& fen : randomPlay(std::vector<std::string>(20, START_FEN), 200, 99))
        check(boardFrom(fen), rng, fen);
}

TEST_F(Robustness, DegenerateBoards) {
    Lcg rng(5);
    for (const char* fen :
         {"", "8/8/8/8/8/8/8/8 w - - 0 1", "K7/8/8/8/8/8/8/8 b - - 0 1",
          "kkkkkkkk/KKKKKKKK/8/8/8/8/8/8 w - -", "QQQQQQQQ/QQQQQQQQ/8/8/8/8/k7/K7 w",
          "qqqqqqqq/qqqqqqqq/nnnnnnnn/8/8/K7/PPPPPPPP/RRRRRRRk b KQkq a3 999 1",
          "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 1000 1"}) {
        Board board = boardFrom(fen);
        lastPositional = 0;
        board.positional = 0;
        const int score = evaluate(board, -SCORE_INFINITE, SCORE_INFINITE);
        // Sixteen queens overflow the score range; they must not crash.
        if (board.totalMat < 12000) {
            EXPECT_GE(score, -SCORE_INFINITE) << fen;
            EXPECT_LE(score, SCORE_INFINITE) << fen;
        }
        (void)rng;
    }
}

} // namespace

namespace {

// Material values from a settings file can make a divisor of the evaluation
// 0 (here the span between the starting material and 6000): the term it
// divides is then neutral, never the undivided product.
using EvalDivisors = evaltest::EvalTest;

TEST_F(EvalDivisors, AZeroDivisorGivesANeutralTerm) {
    const MaterialValues saved = material;
    material.pawn = 99;
    material.queen = 8; // 2 * 8 + 4 * 500 + 8 * 300 + 16 * 99 = 6000
    rebuildValueTables();
    ASSERT_EQ(initialMaterial, 6000);
    for (const char* fen : {"rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w - - 0 1",
                            "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w KQkq - 0 1"}) {
        const eval::EvalTrace t = evaltest::traceOf(fen);
        EXPECT_TRUE(t.shelterPhase) << fen;
        EXPECT_EQ(t.shelter.white, 0) << fen;
        EXPECT_EQ(t.shelter.black, 0) << fen;
    }
    material = saved;
    rebuildValueTables();
}

} // namespace
