// Seeded random games: after every move the incrementally kept state equals
// the board setFromFen builds from the position's own FEN, field by field,
// and the bulk legal-move counter agrees with the generator.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "board/attacks.h"
#include "board/notation.h"
#include "board/perft.h"
#include "board_fixture.h"

namespace {

// Empty when equal, else the names of the fields that differ.
std::string differences(const Board& inc, const Board& ref, bool comparePly) {
    std::string d;
    auto check = [&d](bool same, const char* name) {
        if (!same) d += std::string(name) + " ";
    };
    check(inc.boardkey == ref.boardkey, "boardkey");
    check(inc.wMat == ref.wMat, "wMat");
    check(inc.bMat == ref.bMat, "bMat");
    check(inc.totalMat == ref.totalMat, "totalMat");
    check(inc.lazy == ref.lazy, "lazy");
    for (int c = 0; c < 2; ++c)
        for (int k = KNIGHT; k <= QUEEN; ++k)
            check(inc.pieceCount[c][k] == ref.pieceCount[c][k], "pieceCount");
    check(inc.kingSq[0] == ref.kingSq[0] && inc.kingSq[1] == ref.kingSq[1], "kingSq");
    check(std::memcmp(inc.squares, ref.squares, sizeof inc.squares) == 0, "squares");
    check(std::memcmp(inc.pieceBB, ref.pieceBB, sizeof inc.pieceBB) == 0, "pieceBB");
    check(inc.colourBB[0] == ref.colourBB[0] && inc.colourBB[1] == ref.colourBB[1], "colourBB");
    check(inc.occupied == ref.occupied, "occupied");
    check(inc.toMove == ref.toMove, "toMove");
    check(inc.castle == ref.castle, "castle");
    check(inc.enpassant == ref.enpassant, "enpassant");
    check(inc.halfmoveClock == ref.halfmoveClock, "halfmoveClock");
    if (comparePly) check(inc.gamePly == ref.gamePly, "gamePly");
    return d;
}

std::string history(const std::string& startFen, const std::string& moves) {
    return "\n  from " + startFen + "\n  moves " + moves;
}

TEST(IncrementalState, EqualsStateFromScratchInRandomGames) {
    std::vector<std::string> starts = perftSuiteFens();
    ASSERT_FALSE(starts.empty());
    constexpr int kGames = 400, kMaxPlies = 160;
    int compared = 0;
    for (int game = 0; game < kGames; ++game) {
        std::mt19937 rng(1000 + game);
        const std::string& startFen = starts[game % starts.size()];
        Board b = boardFrom(startFen);
        std::string moves;
        bool nullPlayed = false;
        for (int ply = 0; ply < kMaxPlies && b.halfmoveClock < 100; ++ply) {
            Move m = randomLegalMove(b, rng);
            if (m == NO_MOVE) break;
            // Now and then a null move, as the search plays them (never in check).
            if (!inCheck(b) && rng() % 16 == 0) {
                m = NULL_MOVE;
                nullPlayed = true;
            }
            char buf[MOVE_TEXT_SIZE];
            moves += std::string(formatMove(m, buf)) + " ";
            const Board before = b;
            makeMove(b, m);
            ASSERT_EQ(b.nullMoveCount, m == NULL_MOVE ? before.nullMoveCount + 1 : 0);

            const std::string fen = fenOf(b);
            Board fromScratch = boardFrom(fen);
            std::string diff = differences(b, fromScratch, !nullPlayed);
            ASSERT_TRUE(diff.empty())
                << "differs: " << diff << "\n  fen " << fen << history(startFen, moves);
            ASSERT_EQ(countLegalMoves(b), static_cast<int>(legalMoves(b).size()))
                << fen << history(startFen, moves);
            ++compared;
        }
    }
    EXPECT_GT(compared, 20000);
}

} // namespace
