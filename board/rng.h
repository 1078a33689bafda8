// The 15-bit generator behind the Zobrist keys (and the book's move choice).
// It is never seeded, so every process and every build draws the same
// sequence: x = x * 214013 + 2531011 from x = 1, output (x >> 16) & 0x7FFF.
#pragma once

#include <cstdint>

class Rand15 {
  public:
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

  private:
    std::uint32_t state_ = 1;
};

// The process-wide generator (one sequence per process, like the C runtime's).
int rand15();
