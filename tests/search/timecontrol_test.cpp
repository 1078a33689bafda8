// The stopwatch and the chess clock, on a clock the tests drive by hand.
#include <climits>

#include "search_fixture.h"

namespace {

constexpr auto advance = DrivenClock::advance;

TEST(Stopwatch, UpOnlyAfterItsLimitAcrossTheWrapAndNeverStartedAtZero) {
    DrivenClock clock;
    Stopwatch sw{};
    EXPECT_EQ(stdoutOf([&] { sw.printElapsed(); }),
              "\n\nStopwatch: It appears that the stopwatch was never started!\n");
    for (std::int32_t start : {100000, INT_MAX - 10}) {
        DrivenClock::now = start;
        sw.setLimit(250);
        sw.start();
        advance(250);
        EXPECT_EQ(std::tuple(sw.elapsed(), stdoutOf([&] { sw.printElapsed(); }), sw.timeIsUp()),
                  std::tuple(250, "Stopwatch: 250 ms\n", false));
        advance(1);
        EXPECT_TRUE(sw.timeIsUp()) << start;
    }
    // A limit of 0 (a stop) is up one millisecond after the start; a reading
    // of 0 is taken as 1, so a start is never 0 (0 means never started).
    DrivenClock::now = 0;
    sw.setLimit(0);
    sw.start();
    EXPECT_EQ(std::pair(nowMs(), sw.timeIsUp()), std::pair(1, false));
    advance(2); // 1 ms after the start
    EXPECT_EQ(std::pair(sw.getStartTime(), sw.timeIsUp()), std::pair(1, true));
}

// A level (and a second one set after it: 0 0 0 changes nothing), the
// engine's remaining time (-1: as the level left it) -> the budget.
struct Budget {
    int moves, time, inc, remaining, budget;
    int moves2 = 0, time2 = 0, inc2 = 0;
};
const Budget BUDGETS[] = {
    {0, 0, 0, -1, 850},                 // start-up: one move in one second
    {40, 300000, 0, -1, 7350},          // 300000 / 40 - 150
    {40, 300000, 0, 14000, 200},        // 14000 / 40 - 150
    {40, 300000, 0, 10000, 125},        // at least half the share
    {40, 300000, 0, 200, 2},            //
    {40, 300000, 0, 1000000, 14850},    // capped at twice the average
    {0, 60000, 0, -1, 1500},            // sudden death: a fortieth
    {0, 0, 5000, -1, 4850},             // fixed per move
    {0, 0, 100, -1, 50},                // ... at least half of it
    {0, 0, 1, -1, 0},                   //
    {0, 60000, 1000, -1, 2850},         // 60000 / 30 + 1000 - 150
    {0, 60000, 1000, 900, 750},         // never more than is left
    {0, 60000, 1000, 100, 50},          // at least half the increment...
    {0, 60000, 100, 400, 50},           //
    {0, 60000, 100, 60, 30},            // ... at most half of what is left
    {0, 60000, 100, 30000, 950},        //
    {1, INT_MAX, 0, -1, INT_MAX - 150}, // no overflow
    {0, INT_MIN, 0, -1, INT_MIN / 40},  //
    // Moves with an increment is no level: the one before stays.
    {0, 60000, 1000, -1, 2850, 40, 60000, 1000},
    {40, 300000, 0, -1, 7350, 40, 60000, 1000},
};

TEST(GameClock, BudgetOfEachLevel) {
    DrivenClock driven;
    for (const Budget& b : BUDGETS) {
        GameClock clock{};
        clock.init();
        clock.setLevel(b.moves, b.time, b.inc);
        clock.setLevel(b.moves2, b.time2, b.inc2);
        if (b.remaining >= 0) clock.setRemaining(0, b.remaining);
        // Without a remaining time set, both sides get the level's budget.
        EXPECT_EQ((std::pair{clock.timeForNextMove(0), clock.timeForNextMove(b.remaining < 0)}),
                  std::pair(b.budget, b.budget))
            << "row " << &b - BUDGETS + 1;
    }
}

TEST(GameClock, PressingChargesTheRunningClockSidesAndSaturation) {
    DrivenClock driven;
    GameClock clock{};
    clock.init();
    EXPECT_EQ(clock.runningClock, GameClock::STOPPED);
    auto pressThenWait = [&](int player, int ms) { clock.press(player), advance(ms); };
    auto engineClock = [&] { return std::pair(clock.remainingMs[0], clock.movesToGo[0]); };
    clock.setLevel(2, 10000, 0);
    pressThenWait(0, 1000); // the engine's clock runs
    clock.press(1);
    EXPECT_EQ(engineClock(), std::pair(9000, 1));
    pressThenWait(1, 500); // already running: nothing
    pressThenWait(0, 1000);
    EXPECT_EQ(clock.remaining(1), 9500);
    pressThenWait(1, 700); // the engine's second move ends its control
    EXPECT_EQ(engineClock(), std::pair(18000, 2));
    // Asking for the remaining time charges the running clock once.
    EXPECT_EQ(clock.remaining(1), 8800);
    advance(300);
    EXPECT_EQ(std::pair(clock.remaining(1), clock.timeForNextMove(1)), std::pair(8500, 8350));
    advance(500);
    clock.stop();
    advance(5000);
    EXPECT_EQ(clock.remaining(1), 8000);

    // Sudden death and increment add nothing at the control, not even a
    // control time left from a conventional level.
    for (int inc : {1000, 0}) {
        clock.setLevel(40, 300000, 0);
        clock.setLevel(0, 60000, inc);
        pressThenWait(0, 2000);
        clock.press(1);
        EXPECT_EQ(engineClock(), std::pair(58000, inc ? 0 : 1));
    }
    EXPECT_EQ(clock.timeForNextMove(0), 58000 / 40);

    // The engine's side chooses its clock; remaining times saturate.
    clock.setEngineSide(-1); // the engine plays Black, on clock 1
    clock.setClockRemaining(0, 5000);
    clock.setClockRemaining(1, 7000);
    EXPECT_EQ(std::pair(clock.remaining(0), clock.remaining(1)), std::pair(7000, 5000));
    clock.setRemaining(0, 4000);
    clock.addRemaining(0, 500);
    clock.press(0);
    EXPECT_EQ(std::pair(clock.remainingMs[1], clock.runningClock), std::pair(4500, 1));
    clock.setEngineSide(1);
    EXPECT_EQ(clock.remaining(0), 5000);
    clock.setRemaining(0, INT_MIN + 5);
    pressThenWait(0, 1000);
    EXPECT_EQ(clock.remaining(0), INT_MIN);
    clock.addRemaining(0, -1);
    EXPECT_EQ(clock.remaining(0), INT_MIN);
}

} // namespace
