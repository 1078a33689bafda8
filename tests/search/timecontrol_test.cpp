// The stopwatch and the chess clock, on a clock the tests drive by hand.
#include <gtest/gtest.h>

#include <climits>

#include "search/timecontrol.h"
#include "search_fixture.h"

namespace {

class DrivenClockTest : public ::testing::Test {
  protected:
    static void advance(std::int32_t ms) { DrivenClock::advance(ms); }
    DrivenClock clock;
};

TEST_F(DrivenClockTest, StopwatchIsUpOnlyAfterItsLimit) {
    Stopwatch sw{};
    sw.setLimit(250);
    sw.start();
    advance(250);
    EXPECT_EQ(sw.elapsed(), 250);
    EXPECT_FALSE(sw.timeIsUp());
    advance(1);
    EXPECT_TRUE(sw.timeIsUp());
    // A limit of 0 (a stop) is up one millisecond after the start.
    sw.setLimit(0);
    sw.start();
    EXPECT_FALSE(sw.timeIsUp());
    advance(1);
    EXPECT_TRUE(sw.timeIsUp());
}

TEST_F(DrivenClockTest, StopwatchAcrossTheWrapOfTheMillisecondClock) {
    DrivenClock::set(INT_MAX - 10);
    Stopwatch sw{};
    sw.setLimit(100);
    sw.start();
    advance(100);
    EXPECT_LT(DrivenClock::now(), 0);
    EXPECT_EQ(sw.elapsed(), 100);
    EXPECT_FALSE(sw.timeIsUp());
    advance(1);
    EXPECT_TRUE(sw.timeIsUp());
}

TEST_F(DrivenClockTest, ZeroIsNeverAReadingSoItMeansNeverStarted) {
    Stopwatch sw{};
    testing::internal::CaptureStdout();
    sw.printElapsed();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nStopwatch: It appears that the stopwatch was never started!\n");
    DrivenClock::set(0);
    EXPECT_EQ(nowMs(), 1);
    sw.start();
    EXPECT_NE(sw.getStartTime(), 0);
    advance(42);
    testing::internal::CaptureStdout();
    sw.printElapsed();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Stopwatch: 41 ms\n");
}

TEST_F(DrivenClockTest, BudgetOfEveryMode) {
    GameClock clock{};
    clock.init();
    clock.setLevel(40, 300000, 0);
    EXPECT_EQ(clock.timeForNextMove(0), 7350); // min(300000 / 40, 2 * 300000 / 40) - 150
    clock.setRemaining(0, 10000);
    EXPECT_EQ(clock.timeForNextMove(0), 250 - 150);
    clock.setLevel(40, 300000, 0);
    clock.setRemaining(0, 1000000);
    EXPECT_EQ(clock.timeForNextMove(0), 15000 - 150); // capped at twice the average

    clock.setLevel(0, 60000, 0);
    EXPECT_EQ(clock.timeForNextMove(0), 1500);
    clock.setLevel(0, 0, 5000);
    EXPECT_EQ(clock.timeForNextMove(0), 4850);
    clock.setLevel(0, 60000, 1000);
    EXPECT_EQ(clock.timeForNextMove(0), 2850);
    clock.setRemaining(0, 900);
    EXPECT_EQ(clock.timeForNextMove(0), 900 - 150); // never more than is left

    // Time trouble: at least half the increment, at most half of what is left.
    clock.setRemaining(0, 100);
    EXPECT_EQ(clock.timeForNextMove(0), 50);
    clock.setLevel(0, 60000, 100);
    clock.setRemaining(0, 400);
    EXPECT_EQ(clock.timeForNextMove(0), 50); // min(13 + 100, 400) - 150 < 100 / 2
    clock.setRemaining(0, 60);
    EXPECT_EQ(clock.timeForNextMove(0), 30);
    clock.setRemaining(0, 30000);
    EXPECT_EQ(clock.timeForNextMove(0), 950); // the formula where it gives more
    clock.setLevel(0, 0, 100);
    EXPECT_EQ(clock.timeForNextMove(0), 50);
    clock.setLevel(0, 0, 1);
    EXPECT_EQ(clock.timeForNextMove(0), 0);

    // Moves with an increment, or nothing at all: the level stays.
    clock.setLevel(0, 60000, 1000);
    clock.setLevel(40, 60000, 1000);
    EXPECT_EQ(clock.mode, GameClock::INCREMENT);
    clock.setLevel(40, 60000, 1000);
    clock.setLevel(0, 0, 0);
    EXPECT_EQ(clock.timeForNextMove(0), 2850);
}

TEST_F(DrivenClockTest, StartUpLevelIsOneMoveInOneSecond) {
    GameClock clock{};
    clock.init();
    EXPECT_EQ(clock.runningClock, GameClock::STOPPED);
    EXPECT_EQ(clock.mode, GameClock::CONVENTIONAL);
    EXPECT_EQ(clock.timeForNextMove(0), 1000 - 150);
    EXPECT_EQ(clock.timeForNextMove(1), 1000 - 150);
}

TEST_F(DrivenClockTest, PressingChargesTheOtherClockAndStartsAControlAfresh) {
    GameClock clock{};
    clock.init();
    clock.setLevel(2, 10000, 0);
    clock.press(0); // the engine's clock runs
    advance(1000);
    clock.press(1);
    EXPECT_EQ(clock.remainingMs[0], 9000);
    EXPECT_EQ(clock.movesToGo[0], 1);
    clock.press(1); // already running: nothing
    advance(500);
    clock.press(0);
    EXPECT_EQ(clock.remaining(1), 9500);
    advance(1000);
    clock.press(1); // the engine's second move ends its control
    EXPECT_EQ(clock.movesToGo[0], 2);
    EXPECT_EQ(clock.remainingMs[0], 9000 - 1000 + 10000);

    // Asking for the remaining time charges the running clock once.
    advance(700);
    EXPECT_EQ(clock.remaining(1), 9500 - 700);
    advance(300);
    EXPECT_EQ(clock.remaining(1), 9500 - 1000);
    EXPECT_EQ(clock.timeForNextMove(1), std::min(8500 / 1, 2 * 10000 / 2) - 150);
    advance(500);
    clock.stop();
    EXPECT_EQ(clock.runningClock, GameClock::STOPPED);
    advance(5000);
    EXPECT_EQ(clock.remaining(1), 8000);
}

TEST_F(DrivenClockTest, SuddenDeathAndIncrementAddNothingAtTheControl) {
    GameClock clock{};
    clock.init();
    clock.setLevel(0, 60000, 1000);
    clock.press(0);
    advance(2000);
    clock.press(1);
    EXPECT_EQ(clock.remainingMs[0], 58000);
    EXPECT_EQ(clock.movesToGo[0], 0);

    // A control time left from a conventional level is not added either.
    clock.setLevel(40, 300000, 0);
    clock.setLevel(0, 60000, 0);
    clock.press(0);
    advance(2000);
    clock.press(1);
    EXPECT_EQ(clock.remainingMs[0], 58000);
    EXPECT_EQ(clock.movesToGo[0], 1);
    EXPECT_EQ(clock.timeForNextMove(0), 58000 / 40);
}

TEST_F(DrivenClockTest, PlayersAndClocks) {
    GameClock clock{};
    clock.init();
    clock.setLevel(0, 60000, 0);
    clock.setEngineSide(-1); // the engine plays Black, on clock 1
    clock.setClockRemaining(0, 5000);
    clock.setClockRemaining(1, 7000);
    EXPECT_EQ(clock.remaining(0), 7000);
    EXPECT_EQ(clock.remaining(1), 5000);
    clock.setRemaining(0, 4000);
    clock.addRemaining(0, 500);
    EXPECT_EQ(clock.remainingMs[1], 4500);
    clock.press(0);
    EXPECT_EQ(clock.runningClock, 1);
    clock.setEngineSide(1);
    EXPECT_EQ(clock.remaining(0), 5000);
}

TEST_F(DrivenClockTest, ExtremeValuesDoNotOverflow) {
    GameClock clock{};
    clock.init();
    clock.setLevel(1, INT_MAX, 0);
    EXPECT_EQ(clock.timeForNextMove(0), INT_MAX - 150);
    clock.setLevel(0, INT_MIN, 0);
    EXPECT_EQ(clock.timeForNextMove(0), INT_MIN / 40);
    clock.setRemaining(0, INT_MIN + 5);
    clock.press(0);
    advance(1000);
    EXPECT_EQ(clock.remaining(0), INT_MIN);
    clock.addRemaining(0, -1);
    EXPECT_EQ(clock.remaining(0), INT_MIN);
}

} // namespace
