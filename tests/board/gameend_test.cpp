// Game end: the order of the tests (rules before mate), the material draws,
// and the exact result lines.
#include <gtest/gtest.h>

#include <string>

#include "board/gameend.h"
#include "board/notation.h"
#include "board/repetition.h"
#include "board_fixture.h"

namespace {

std::string endOf(const char* fen, bool (*test)(const Board&), bool* over = nullptr) {
    Board b = boardFrom(fen);
    bool result = false;
    std::string out = stdoutOf([&] { result = test(b); });
    if (over) *over = result;
    EXPECT_EQ(result, !out.empty()) << fen << " printed \"" << out << '"';
    return out;
}

// Plays SAN moves on the board (the repetition ring records each).
void play(Board& b, std::initializer_list<const char*> moves) {
    for (const char* san : moves) {
        Move m = parseSanMove(b, san);
        ASSERT_NE(m, NO_MOVE) << san;
        makeMove(b, m);
    }
}

TEST(GameEnd, MateAndStalemateLines) {
    // Fool's mate: White is mated.
    EXPECT_EQ(endOf("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", isGameOver),
              "0-1 {black mates}\n");
    // Back-rank mate of Black.
    EXPECT_EQ(endOf("R5k1/5ppp/8/8/8/8/8/6K1 b - - 1 1", isGameOver), "1-0 {white mates}\n");
    EXPECT_EQ(endOf("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", isGameOver), "1/2-1/2 {stalemate}\n");
    EXPECT_EQ(endOf("k7/P7/K7/8/8/8/8/8 b - - 0 1", isGameOver), "1/2-1/2 {stalemate}\n");
    // No legal move is decided before the material: king and bishop stalemate.
    EXPECT_EQ(endOf("k7/2K5/1B6/8/8/8/8/8 b - - 0 1", isGameOver), "1/2-1/2 {stalemate}\n");
    EXPECT_EQ(endOf(START_FEN, isGameOver), "");
    EXPECT_EQ(endOf(START_FEN, checkGameEnd), "");
}

TEST(GameEnd, InsufficientMaterial) {
    const char* draw = "1/2-1/2 {insufficient Material}\n";
    EXPECT_EQ(endOf("8/8/4k3/8/8/3K4/8/8 w - - 0 1", isGameOver), draw);
    EXPECT_EQ(endOf("8/8/4k3/8/8/3KN3/8/8 w - - 0 1", isGameOver), draw);
    EXPECT_EQ(endOf("8/8/4k3/8/8/3K4/8/6b1 b - - 0 1", isGameOver), draw);
    EXPECT_EQ(endOf("8/8/4k3/8/8/3KP3/8/8 w - - 0 1", isGameOver), "");
    EXPECT_EQ(endOf("8/8/4k3/8/8/3K4/8/R7 w - - 0 1", isGameOver), "");
    EXPECT_EQ(endOf("8/8/4k3/8/8/3KQ3/8/8 b - - 0 1", isGameOver), "");
    // One bishop each: c1 and f8 are both dark, c1 and c8 differ.
    EXPECT_EQ(endOf("5b2/8/4k3/8/8/3K4/8/2B5 w - - 0 1", isGameOver), draw);
    EXPECT_EQ(endOf("2b5/8/4k3/8/8/3K4/8/2B5 w - - 0 1", isGameOver), "");
    // Light squares a2 and h7 too.
    EXPECT_EQ(endOf("8/7b/3k4/8/8/2K5/B7/8 b - - 0 1", isGameOver), draw);
    // Two bishops of one side, or bishop against knight, can go on.
    EXPECT_EQ(endOf("8/8/4k3/8/8/3K4/8/2B2B2 w - - 0 1", isGameOver), "");
    EXPECT_EQ(endOf("5n2/8/4k3/8/8/3K4/8/2B5 w - - 0 1", isGameOver), "");
    EXPECT_EQ(endOf("8/8/4k3/8/8/3KN3/8/8 w - - 0 1", checkGameEnd), draw);
}

TEST(GameEnd, RuleDrawsComeBeforeMate) {
    const char* mated = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - %d 3";
    char fen[128];
    std::snprintf(fen, sizeof fen, mated, 100);
    EXPECT_EQ(endOf(fen, checkGameEnd), "1/2-1/2 {50 moves rule}\n");
    EXPECT_EQ(endOf(fen, isGameOver), "0-1 {black mates}\n"); // only checkGameEnd counts
    std::snprintf(fen, sizeof fen, mated, 99);
    EXPECT_EQ(endOf(fen, checkGameEnd), "0-1 {black mates}\n");
    EXPECT_EQ(endOf("8/8/4k3/8/8/3K4/8/R7 w - - 100 80", checkGameEnd),
              "1/2-1/2 {50 moves rule}\n");
    EXPECT_EQ(endOf("8/8/4k3/8/8/3K4/8/R7 w - - 99 80", checkGameEnd), "");
}

TEST(GameEnd, ThreefoldRepetition) {
    Board b = boardFrom(START_FEN);
    play(b, {"Nf3", "Nf6", "Ng1", "Ng8"});
    // Twice is not enough for the game, though the search sees a repetition.
    EXPECT_TRUE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
    EXPECT_EQ(stdoutOf([&] { EXPECT_FALSE(checkGameEnd(b)); }), "");
    play(b, {"Nf3", "Nf6", "Ng1"});
    EXPECT_EQ(stdoutOf([&] { EXPECT_FALSE(checkGameEnd(b)); }), "");
    play(b, {"Ng8"});
    EXPECT_EQ(b.halfmoveClock, 8);
    EXPECT_EQ(stdoutOf([&] { EXPECT_TRUE(checkGameEnd(b)); }),
              "1/2-1/2 {draw by triple repetition}\n");

    // Late in a game the plies wrap around the ring.
    b = boardFrom("4k3/8/8/8/8/8/8/RN2K3 w - - 0 75");
    ASSERT_EQ(b.gamePly, 148);
    play(b, {"Nc3", "Kd8", "Nb1", "Ke8", "Nc3", "Kd8", "Nb1"});
    EXPECT_EQ(stdoutOf([&] { EXPECT_FALSE(checkGameEnd(b)); }), "");
    play(b, {"Ke8"});
    EXPECT_EQ(stdoutOf([&] { EXPECT_TRUE(checkGameEnd(b)); }),
              "1/2-1/2 {draw by triple repetition}\n");

    // Both rules at once: the repetition is announced.
    b = boardFrom("4k3/8/8/8/8/8/8/RN2K3 w - - 94 60");
    play(b, {"Nc3", "Kd8", "Nb1", "Ke8", "Nc3", "Kd8", "Nb1", "Ke8"});
    EXPECT_EQ(b.halfmoveClock, 102);
    EXPECT_EQ(stdoutOf([&] { EXPECT_TRUE(checkGameEnd(b)); }),
              "1/2-1/2 {draw by triple repetition}\n");
}

TEST(GameEnd, ClockLargerThanTheGameIsNoRepetition) {
    // The clock reaches back before the game's first ply and past the ring.
    for (const char* fen : {"4k3/8/8/8/8/8/8/RN2K3 w - - 40 1", "4k3/8/8/8/8/8/8/RN2K3 b - - 99 1",
                            "4k3/8/8/8/8/8/8/RN2K3 w - - 99 200"}) {
        Board b = boardFrom(fen);
        EXPECT_FALSE(repetitionRing.isThreefold(b.gamePly, b.halfmoveClock)) << fen;
        EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock)) << fen;
        EXPECT_EQ(stdoutOf([&] { EXPECT_FALSE(checkGameEnd(b)); }), "") << fen;
    }
}

// What the search relies on: a pawn move cuts the history, the side to move is
// part of the position, a ring filled many times over still finds the
// repetition, and a negative ply has a slot.
TEST(GameEnd, RepetitionRingEdges) {
    Board b = boardFrom(START_FEN);
    play(b, {"Nf3", "Nf6", "Ng1", "Ng8", "e4"});
    EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
    b = boardFrom(START_FEN);
    play(b, {"Nf3"});
    EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
    b = boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 999 400");
    for (int i = 0; i < 160; ++i) play(b, {i % 2 ? "Ng1" : "Nf3", i % 2 ? "Ng8" : "Nf6"});
    EXPECT_TRUE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
    EXPECT_TRUE(repetitionRing.isThreefold(b.gamePly, b.halfmoveClock));
    EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, 0));
    EXPECT_EQ(RepetitionRing::slot(-1), 149);
}

} // namespace
