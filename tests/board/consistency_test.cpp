// Seeded random games (with null moves now and then, as the search plays
// them): after every move the incrementally kept state equals the board
// setFromFen builds from the position's own FEN, and the bulk legal-move
// counter agrees with the generator.
#include <cstring>
#include <random>

#include "board/attacks.h"
#include "board/perft.h"
#include "board_fixture.h"

namespace {

// Empty when equal, else the names of the fields that differ.
std::string differences(const Board& a, const Board& b, bool comparePly) {
    std::string d;
    auto check = [&d](bool same, const char* name) { d += same ? "" : std::string(name) + " "; };
    check(a.boardkey == b.boardkey, "boardkey");
    check(a.wMat == b.wMat && a.bMat == b.bMat && a.totalMat == b.totalMat, "material");
    check(a.lazy == b.lazy, "lazy");
    check(std::memcmp(&a.pieceCount[0][KNIGHT], &b.pieceCount[0][KNIGHT], 4) == 0 &&
              std::memcmp(&a.pieceCount[1][KNIGHT], &b.pieceCount[1][KNIGHT], 4) == 0,
          "pieceCount");
    check(a.kingSq[0] == b.kingSq[0] && a.kingSq[1] == b.kingSq[1], "kingSq");
    check(std::memcmp(a.squares, b.squares, sizeof a.squares) == 0, "squares");
    check(std::memcmp(a.pieceBB, b.pieceBB, sizeof a.pieceBB) == 0, "pieceBB");
    check(a.colourBB[0] == b.colourBB[0] && a.colourBB[1] == b.colourBB[1], "colourBB");
    check(a.occupied == b.occupied && a.toMove == b.toMove, "occupied/toMove");
    check(a.castle == b.castle && a.enpassant == b.enpassant, "castle/enpassant");
    check(a.halfmoveClock == b.halfmoveClock && (!comparePly || a.gamePly == b.gamePly), "clocks");
    return d;
}

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
            const std::string diff = differences(b, boardFrom(fen), !nullPlayed);
            ASSERT_EQ(diff, "") << fen << "\n  from " << start << "\n  moves " << moves;
            ASSERT_EQ(countLegalMoves(b), static_cast<int>(legalMoves(b).size())) << fen;
            ++compared;
        }
    }
    EXPECT_GT(compared, 15000);
}

} // namespace
