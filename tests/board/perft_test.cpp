// Move generation and make-move: perft counts of the reference suite, random
// games checked against the state read back from their FENs, and the
// generators on what no game produces. The order of the captures and the
// quiescence list's cut are pinned by the search signature.
#include <memory>
#include <numeric>
#include <random>

#include "board/attacks.h"
#include "board/perft.h"
#include "board_fixture.h"

namespace {

// perft() (bulk counting at the last ply) at every depth up to 4, and
// perftDivide (generateLegal at the root) at depth 3 against the same count.
TEST(Perft, EverySuitePositionAgreesWithItsCounts) {
    ASSERT_GE(perftSuite().size(), 100u) << "perftsuite.epd missing or unreadable";
    for (const PerftEntry& e : perftSuite()) {
        Board b = boardFrom(e.fen);
        for (int d = 1; d <= 4 && d <= static_cast<int>(e.counts.size()); ++d)
            ASSERT_EQ(perft(b, d), e.counts[d - 1]) << e.fen << " depth " << d;
        Move moves[MOVELIST_CAPACITY];
        U64 counts[MOVELIST_CAPACITY];
        const int n = perftDivide(b, 3, moves, counts);
        ASSERT_EQ(std::vector<Move>(moves, moves + n), legalMoves(b)) << e.fen;
        ASSERT_EQ(std::accumulate(counts, counts + n, U64{0}), e.counts[2]) << e.fen;
    }
}

// What make-move keeps up by increments, to compare with a board read from FEN.
auto kept(const Board& b, bool withPly) {
    auto ints = [](const std::int8_t* from, int n) { return std::vector<int>(from, from + n); };
    return std::tuple(
        b.boardkey, b.wMat, b.bMat, b.totalMat, b.lazy, int(b.toMove), int(b.castle),
        int(b.enpassant), b.halfmoveClock, withPly ? b.gamePly : 0, ints(b.squares, 64),
        ints(b.kingSq, 2), ints(b.pieceCount[0] + KNIGHT, 4), ints(b.pieceCount[1] + KNIGHT, 4),
        std::vector<U64>(&b.pieceBB[0][0], &b.pieceBB[0][0] + 15)); // colourBB, occupied
}

// Seeded random games with a null move now and then, as the search plays them:
// the incremental state equals the board read from the position's own FEN.
TEST(IncrementalState, EqualsStateFromScratchInRandomGames) {
    int compared = 0;
    for (int game = 0; game < 250; ++game) {
        std::mt19937 rng(1000 + game);
        const std::string& start = perftSuite()[game % perftSuite().size()].fen;
        Board b = boardFrom(start);
        std::string moves;
        bool nullPlayed = false;
        for (int ply = 0; ply < 160 && b.halfmoveClock < 100; ++ply) {
            const std::vector<Move> legal = legalMoves(b);
            if (legal.empty()) break;
            Move m = legal[rng() % legal.size()];
            if (!inCheck(b) && rng() % 16 == 0) m = NULL_MOVE, nullPlayed = true;
            moves += moveText(m) + " ";
            const int nulls = b.nullMoveCount;
            makeMove(b, m);
            ASSERT_EQ(b.nullMoveCount, m == NULL_MOVE ? nulls + 1 : 0);
            const std::string fen = fenOf(b);
            ASSERT_EQ(kept(b, !nullPlayed), kept(boardFrom(fen), !nullPlayed))
                << fen << "\n  from " << start << "\n  moves " << moves;
            ++compared;
        }
    }
    EXPECT_GT(compared, 15000);
}

// 64 white queens on an empty-looking board facing 64 black pieces: far more
// than 255 moves of every kind, and nothing is written past the lists, which
// sit at the end of their own allocations.
TEST(Generators, NeverWritePastTheList) {
    Board b = boardFrom("8/8/8/8/8/8/8/8 w - - 0 1");
    b.pieceBB[QUEEN][0] = b.colourBB[1] = ~U64{0};
    b.occupied = 0;
    std::unique_ptr<MoveList> list(new MoveList);
    std::unique_ptr<Move[]> legal(new Move[MOVELIST_CAPACITY]);
    const int n[] = {generateQuiet(b, *list), generateCaptures(b, *list),
                     generateQuiescence(b, *list), generateOrdered(b, *list),
                     generateLegal(b, legal.get())};
    EXPECT_EQ(std::to_string(n[0]) + " " + std::to_string(n[1]) + " " + std::to_string(n[3]),
              "255 255 255");
    EXPECT_TRUE(n[2] < MOVELIST_CAPACITY && n[4] < MOVELIST_CAPACITY);
}

} // namespace
