// A spin lock for the threads of one process: taken with an atomic exchange,
// waited on by plain reads so that the waiting core does not keep the cache
// line busy. A long wait gives the processor away: the holder may be a thread
// that is not running, and the machine may have fewer cores than threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <sched.h>

struct SpinLock {
    static constexpr int SPINS_BEFORE_YIELD = 100;
    std::atomic<std::int32_t> word{0};

    void lock() {
        while (word.exchange(1, std::memory_order_acquire) != 0) {
            for (int spins = 0; word.load(std::memory_order_relaxed) != 0;) {
                if (++spins == SPINS_BEFORE_YIELD) {
                    spins = 0;
                    sched_yield();
                }
            }
        }
    }
    void unlock() { word.store(0, std::memory_order_release); }
};
