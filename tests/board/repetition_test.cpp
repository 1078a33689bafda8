// The repetition ring.
#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/repetition.h"
#include "board_fixture.h"

TEST(Repetition, ThreefoldOnlyAfterTheSecondReturn) {
    Board b = boardFrom(START_FEN);
    const char* dance[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (const char* m : dance) makeMove(b, legalMove(b, m));
    EXPECT_EQ(b.halfmoveClock, 4);
    EXPECT_TRUE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
    EXPECT_FALSE(repetitionRing.isThreefold(b.gamePly, b.halfmoveClock));
    for (const char* m : dance) makeMove(b, legalMove(b, m));
    EXPECT_EQ(b.halfmoveClock, 8);
    EXPECT_TRUE(repetitionRing.isThreefold(b.gamePly, b.halfmoveClock));
    // A pawn move resets the clock and with it every earlier position.
    makeMove(b, legalMove(b, "e2e4"));
    EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
    // Positions with the other side to move differ by the side key.
    b = boardFrom(START_FEN);
    makeMove(b, legalMove(b, "g1f3"));
    EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
}

TEST(Repetition, RingIndicesWrapAtAnyPlyAndClock) {
    // Deep into a game: the slots wrap around the ring's end.
    Board b = boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 75");
    ASSERT_EQ(b.gamePly, 148);
    const char* dance[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (int round = 0; round < 2; ++round)
        for (const char* m : dance) makeMove(b, legalMove(b, m));
    EXPECT_EQ(RepetitionRing::slot(b.gamePly), 6);
    EXPECT_TRUE(repetitionRing.isThreefold(b.gamePly, b.halfmoveClock));

    // A clock larger than the game so far, or than the ring: no false hits
    // from slots that hold no position of this game.
    b = boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 40 1");
    EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
    makeMove(b, legalMove(b, "g1f3"));
    EXPECT_FALSE(repetitionRing.isThreefold(b.gamePly, b.halfmoveClock));
    b = boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 999 400");
    for (int i = 0; i < 160; ++i) {
        makeMove(b, legalMove(b, i % 2 ? "f3g1" : "g1f3"));
        makeMove(b, legalMove(b, i % 2 ? "f6g8" : "g8f6"));
    }
    EXPECT_TRUE(repetitionRing.isRepetition(b.gamePly, b.halfmoveClock));
    EXPECT_TRUE(repetitionRing.isThreefold(b.gamePly, b.halfmoveClock));
    EXPECT_FALSE(repetitionRing.isRepetition(b.gamePly, 0));
    EXPECT_EQ(RepetitionRing::slot(-1), 149);
}
