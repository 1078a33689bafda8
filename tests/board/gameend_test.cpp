// Game end: the result lines, the order of the tests (rules before mate), the
// material draws, and the repetition ring the search also reads.
#include <sstream>

#include "board/gameend.h"
#include "board/repetition.h"
#include "board_fixture.h"

namespace {

const char* const MATED = "0-1 {black mates}\n";
const char* const STALE = "1/2-1/2 {stalemate}\n";
const char* const MATERIAL = "1/2-1/2 {insufficient Material}\n";
const char* const FIFTY = "1/2-1/2 {50 moves rule}\n";
const char* const THREEFOLD = "1/2-1/2 {draw by triple repetition}\n";

// FEN -> the line of checkGameEnd and the line of isGameOver ("" for none).
const char* const ROWS[][3] = {
    {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", MATED, MATED},
    {"R5k1/5ppp/8/8/8/8/8/6K1 b - - 1 1", "1-0 {white mates}\n", "1-0 {white mates}\n"},
    {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", STALE, STALE},
    {"k7/2K5/1B6/8/8/8/8/8 b - - 0 1", STALE, STALE}, // no move decides before material
    {START_FEN, "", ""},
    {"8/8/4k3/8/8/3K4/8/8 w - - 0 1", MATERIAL, MATERIAL},
    {"8/8/4k3/8/8/3KN3/8/8 w - - 0 1", MATERIAL, MATERIAL},
    {"8/8/4k3/8/8/3K4/8/6b1 b - - 0 1", MATERIAL, MATERIAL},
    {"8/8/4k3/8/8/3KP3/8/8 w - - 0 1", "", ""},
    {"8/8/4k3/8/8/3K4/8/R7 w - - 0 1", "", ""},
    {"8/8/4k3/8/8/3KQ3/8/8 b - - 0 1", "", ""},
    {"5b2/8/4k3/8/8/3K4/8/2B5 w - - 0 1", MATERIAL, MATERIAL}, // both bishops on dark squares
    {"2b5/8/4k3/8/8/3K4/8/2B5 w - - 0 1", "", ""},
    {"8/7b/3k4/8/8/2K5/B7/8 b - - 0 1", MATERIAL, MATERIAL}, // both on light squares
    {"8/8/4k3/8/8/3K4/8/2B2B2 w - - 0 1", "", ""},
    {"5n2/8/4k3/8/8/3K4/8/2B5 w - - 0 1", "", ""},
    {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 100 3", FIFTY, MATED},
    {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 99 3", MATED, MATED},
    {"8/8/4k3/8/8/3K4/8/R7 w - - 100 80", FIFTY, ""},
    {"8/8/4k3/8/8/3K4/8/R7 w - - 99 80", "", ""},
    // Clocks that reach back before the game's start (and past the ring).
    {"4k3/8/8/8/8/8/8/RN2K3 b - - 99 1", "", ""},
    {"4k3/8/8/8/8/8/8/RN2K3 w - - 99 200", "", ""},
};

TEST(GameEnd, ResultLinesPrintedAndReturned) {
    for (const auto& [fen, end, over] : ROWS) {
        const Board b = boardFrom(fen);
        EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(checkGameEnd(b), *end != 0); }), end) << fen;
        EXPECT_EQ(stdoutOf([&] { EXPECT_EQ(isGameOver(b), *over != 0); }), over) << fen;
        EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock)) << fen;
    }
}

// Plays coordinate moves; for each, "T" when gameEndResult ends the game,
// else "."; then whether the search sees the last position as a repetition.
std::string play(Board& b, const char* moves) {
    std::string out;
    std::istringstream in(moves);
    for (std::string m; in >> m;) {
        makeMove(b, parseCoordinateMove(b, m.c_str()));
        out += gameEndResult(b) ? "T" : ".";
    }
    return out + (repetitionRing.isRepetition(b.gamePly, b.halfmoveClock) ? " rep" : " new");
}

TEST(GameEnd, ThreefoldRepetitionAndTheRing) {
    const char* knights = "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8";
    const char* rook = "b1c3 e8d8 c3b1 d8e8 b1c3 e8d8 c3b1 d8e8";
    Board b = boardFrom(START_FEN);
    EXPECT_EQ(play(b, knights), ".......T rep"); // the third start position
    EXPECT_EQ(stdoutOf([&] { checkGameEnd(b); }), THREEFOLD);
    EXPECT_EQ(play(b, "e2e4"), ". new"); // a pawn move cuts the history
    // Late in a game the plies wrap around the ring; with the fifty-move rule
    // due at the same time the repetition is announced.
    b = boardFrom("4k3/8/8/8/8/8/8/RN2K3 w - - 0 75");
    EXPECT_EQ(play(b, rook), ".......T rep");
    b = boardFrom("4k3/8/8/8/8/8/8/RN2K3 w - - 94 60");
    EXPECT_EQ(play(b, rook), ".....TTT rep");
    EXPECT_EQ(std::string(gameEndResult(b)), THREEFOLD);
    b = boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 999 400");
    for (int i = 0; i < 80; ++i) play(b, knights);
    EXPECT_EQ(play(b, "g1f3"), "T rep");
    EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, 0));
    EXPECT_EQ(RepetitionRing::slot(-1), 149);
}

} // namespace
