// A spin lock for the threads of one process: taken with an atomic exchange,
// waited on by plain reads so that the waiting core does not keep the cache
// line busy.
#pragma once

#include <atomic>
#include <cstdint>

struct SpinLock {
    std::atomic<std::int32_t> word{0};

    void lock() {
        while (word.exchange(1, std::memory_order_acquire) != 0) {
            while (word.load(std::memory_order_relaxed) != 0) {
            }
        }
    }
    void unlock() { word.store(0, std::memory_order_release); }
};
