// Time control: the millisecond clock, the search's stopwatch and the chess
// clock that computes each move's time budget.
//
// One process arms the stopwatch in shared memory and every other process
// asks it, so the clock has one epoch for all processes: the monotonic clock
// in milliseconds, kept in 32 bits. Differences are taken modulo 2^32, which
// is right for any interval shorter than 24 days; a reading of 0 is moved to
// 1 so that a start of 0 always means "never started".
#pragma once

#include <cstdint>

using TimeSource = std::int32_t (*)();

// The current time in milliseconds (never 0).
std::int32_t nowMs();
// Replaces the clock (tests drive it); nullptr restores the monotonic clock.
void setTimeSource(TimeSource source);
// later - earlier, wrap-safe.
inline std::int32_t msBetween(std::int32_t earlier, std::int32_t later) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) -
                                     static_cast<std::uint32_t>(earlier));
}

// A time limit and the time it was started. It lives in shared memory and is
// written by one process while others read it, so every access is atomic.
struct Stopwatch {
    std::int32_t limit;     // allowed milliseconds
    std::int32_t startTime; // nowMs() at start(); 0 = never started

    void setLimit(std::int32_t ms);
    void start();
    // Up when more than limit milliseconds have passed since the start.
    bool timeIsUp() const;
    std::int32_t elapsed() const;
    // "Stopwatch: <ms> ms", or the never-started message.
    void printElapsed() const;
    std::int32_t getLimit() const;
    std::int32_t getStartTime() const;
};

// The chess clock of both players under one time control. Player 0 is the
// engine, player 1 its opponent; each uses clock 0 (White) or 1 (Black).
struct GameClock {
    static constexpr std::int32_t STOPPED = 9;
    static constexpr std::int32_t MARGIN_MS = 150;
    enum Mode : std::int32_t {
        CONVENTIONAL = 0,
        SUDDEN_DEATH = 1,
        FIXED_PER_MOVE = 2,
        INCREMENT = 3
    };

    std::int32_t clockOfPlayer[2];
    std::int32_t mode;
    std::int32_t controlMoves; // moves per time control (1 outside mode 0)
    std::int32_t controlTime;  // mode 0: time per control; 2: time per move; 3: increment
    std::int32_t margin;
    std::int32_t remainingMs[2];
    std::int32_t movesToGo[2];
    std::int32_t runningClock; // 0 or 1 while a clock runs, STOPPED otherwise
    std::int32_t startedAt;    // nowMs() when the running clock was started or charged
    std::int32_t baseTime;     // modes 1 and 3

    // The start-up state: no clock running, the engine on clock 0, 1 move in 1000 ms.
    void init();
    void setLevel(std::int32_t moves, std::int32_t time, std::int32_t increment);
    // The engine (player 0) plays White's clock when side is +1, else Black's.
    void setEngineSide(int side);
    void setRemaining(int player, std::int32_t ms);
    void addRemaining(int player, std::int32_t ms);
    void setClockRemaining(int clock, std::int32_t ms);
    void press(int player);
    void stop();
    std::int32_t remaining(int player);
    // The budget of the player's next move. With an increment (or a fixed
    // time per move) it is at least half the increment, but never more than
    // half the time left, so a clock nearly spent still thinks a little.
    std::int32_t timeForNextMove(int player);

  private:
    void chargeRunning(std::int32_t now);
};
