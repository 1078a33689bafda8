// The transposition table: search results per position, shared by every
// search process without locks. Its memory is handed to it by the process
// set-up (a shared mapping); it never allocates.
//
// An entry is four 32-bit words: the key's low and high halves each XORed
// with one data word, then the two data words. A reader that meets words of
// two different stores finds the check failing and sees a miss.
#pragma once

#include "board/types.h"

struct TTEntry {
    std::uint32_t keyLow;  // key low half ^ data0
    std::uint32_t keyHigh; // key high half ^ data1
    std::uint32_t data0;   // bits 0-15 best move
    std::uint32_t data1;   // score 0-15, depth 16-21, age 22-27, bound 28-29
};
static_assert(sizeof(TTEntry) == 16);

enum TTBound : int { TT_UPPER = 0, TT_LOWER = 1, TT_EXACT = 2 };

class TranspositionTable {
  public:
    static constexpr std::uint64_t DEFAULT_ENTRIES = 2097152; // 32 MiB
    static constexpr std::uint64_t ENTRIES_PER_MB = 65536;
    // Entries for a "pref:size-hashtable=" value in MB (sizes below 1 count as 1).
    static std::uint64_t entriesForSetting(int sizeSetting);

    void attach(TTEntry* entries, std::uint64_t count);
    void detach();
    bool usable() const { return initialized_; }
    std::uint64_t size() const { return count_; }
    TTEntry* entries() const { return entries_; }

    void clear();
    // A cut-off value for the window, or TT_NO_CUTOFF.
    int probe(U64 key, int depth, int alpha, int beta) const;
    // The stored move of a matching entry, whatever its depth; else 0.
    Move bestMove(U64 key) const;
    // ply: the root ply of the search (the age is ply modulo 64).
    void store(U64 key, int depth, int ply, int score, int bound, Move move);

  private:
    bool initialized_ = false;
    std::uint64_t count_ = 0;
    TTEntry* entries_ = nullptr;
};
