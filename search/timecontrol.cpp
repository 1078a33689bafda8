#include "search/timecontrol.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <ctime>

namespace {

std::int32_t monotonicMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                       static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

TimeSource timeSource = monotonicMs;

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
}

int index01(std::int32_t v) {
    return v == 1 ? 1 : 0;
}

std::int32_t load(const std::int32_t& field) {
    return std::atomic_ref<std::int32_t>(const_cast<std::int32_t&>(field))
        .load(std::memory_order_relaxed);
}

void store(std::int32_t& field, std::int32_t value) {
    std::atomic_ref<std::int32_t>(field).store(value, std::memory_order_relaxed);
}

} // namespace

std::int32_t nowMs() {
    std::int32_t t = timeSource();
    return t == 0 ? 1 : t;
}

void setTimeSource(TimeSource source) {
    timeSource = source ? source : monotonicMs;
}

// ---- Stopwatch ----

void Stopwatch::setLimit(std::int32_t ms) {
    store(limit, ms);
}
void Stopwatch::start() {
    store(startTime, nowMs());
}
std::int32_t Stopwatch::getLimit() const {
    return load(limit);
}
std::int32_t Stopwatch::getStartTime() const {
    return load(startTime);
}

bool Stopwatch::timeIsUp() const {
    return elapsed() > load(limit);
}

std::int32_t Stopwatch::elapsed() const {
    return msBetween(load(startTime), nowMs());
}

void Stopwatch::printElapsed() const {
    if (load(startTime) == 0)
        std::printf("\n\nStopwatch: It appears that the stopwatch was never started!\n");
    else
        std::printf("Stopwatch: %d ms\n", elapsed());
}

// ---- GameClock ----

void GameClock::init() {
    clockOfPlayer[0] = 0;
    clockOfPlayer[1] = 1;
    mode = CONVENTIONAL;
    controlMoves = 1;
    controlTime = 0;
    margin = MARGIN_MS;
    remainingMs[0] = remainingMs[1] = 0;
    movesToGo[0] = movesToGo[1] = 1;
    runningClock = STOPPED;
    startedAt = 0;
    baseTime = 0;
    setLevel(1, 1000, 0);
}

void GameClock::setLevel(std::int32_t moves, std::int32_t time, std::int32_t increment) {
    stop();
    margin = MARGIN_MS;
    if (moves != 0 && time != 0 && increment == 0) {
        mode = CONVENTIONAL;
        controlMoves = moves;
        movesToGo[0] = movesToGo[1] = moves;
        controlTime = time;
        remainingMs[0] = remainingMs[1] = time;
    } else if (moves == 0 && time != 0 && increment == 0) {
        mode = SUDDEN_DEATH;
        controlMoves = 1;
        movesToGo[0] = movesToGo[1] = 1;
        // Nothing is added at the "control" after each move in sudden death.
        controlTime = 0;
        baseTime = time;
        remainingMs[0] = remainingMs[1] = time;
    } else if (moves == 0 && time != 0 && increment != 0) {
        mode = INCREMENT;
        controlMoves = 1;
        movesToGo[0] = movesToGo[1] = 1;
        controlTime = increment;
        baseTime = time;
        remainingMs[0] = remainingMs[1] = time;
    } else if (moves == 0 && time == 0 && increment != 0) {
        mode = FIXED_PER_MOVE;
        controlMoves = 1;
        movesToGo[0] = movesToGo[1] = 1;
        controlTime = increment;
        remainingMs[0] = remainingMs[1] = 0;
    }
}

void GameClock::setEngineSide(int side) {
    clockOfPlayer[0] = side == 1 ? 0 : 1;
    clockOfPlayer[1] = 1 - clockOfPlayer[0];
}

void GameClock::setRemaining(int player, std::int32_t ms) {
    remainingMs[index01(clockOfPlayer[index01(player)])] = ms;
}

void GameClock::addRemaining(int player, std::int32_t ms) {
    std::int32_t& r = remainingMs[index01(clockOfPlayer[index01(player)])];
    r = saturate(static_cast<std::int64_t>(r) + ms);
}

void GameClock::setClockRemaining(int clock, std::int32_t ms) {
    remainingMs[index01(clock)] = ms;
}

void GameClock::chargeRunning(std::int32_t now) {
    if (runningClock != 0 && runningClock != 1) return;
    std::int32_t& r = remainingMs[runningClock];
    r = saturate(static_cast<std::int64_t>(r) - msBetween(startedAt, now));
    startedAt = now;
}

void GameClock::press(int player) {
    int clock = index01(clockOfPlayer[index01(player)]);
    std::int32_t now = nowMs();
    if ((runningClock == 0 || runningClock == 1) && runningClock != clock) {
        int other = runningClock;
        chargeRunning(now);
        std::int32_t before = movesToGo[other];
        movesToGo[other] = before - 1;
        if (before == 1 && mode != INCREMENT) {
            movesToGo[other] = controlMoves;
            remainingMs[other] =
                saturate(static_cast<std::int64_t>(remainingMs[other]) + controlTime);
        }
    }
    if (runningClock == clock) return;
    runningClock = clock;
    startedAt = now;
}

void GameClock::stop() {
    chargeRunning(nowMs());
    runningClock = STOPPED;
}

std::int32_t GameClock::remaining(int player) {
    chargeRunning(nowMs());
    return remainingMs[index01(clockOfPlayer[index01(player)])];
}

std::int32_t GameClock::timeForNextMove(int player) {
    std::int64_t r = remaining(player);
    int clock = index01(clockOfPlayer[index01(player)]);
    switch (mode) {
    case CONVENTIONAL: {
        std::int64_t perMove = r / std::max<std::int32_t>(movesToGo[clock], 1);
        std::int64_t cap = 2 * static_cast<std::int64_t>(controlTime) / std::max(controlMoves, 1);
        // Short of time the margin would eat the whole share (a depth-one
        // move with seconds on the clock): half the share is kept then.
        std::int64_t share = std::min(perMove, cap);
        return saturate(std::max(share - margin, share / 2));
    }
    case SUDDEN_DEATH:
        return saturate(r / 40);
    case FIXED_PER_MOVE:
        return saturate(std::max<std::int64_t>(controlTime - margin, controlTime / 2));
    case INCREMENT: {
        std::int64_t floor = std::min<std::int64_t>(controlTime / 2, r / 2);
        return saturate(std::max(std::min(r / 30 + controlTime, r) - margin, floor));
    }
    default:
        return 0;
    }
}
