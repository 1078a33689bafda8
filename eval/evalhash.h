// The evaluation hash: one 64-bit word per entry, bits 16-63 of the position's
// key and the 16-bit evaluation. Its memory is handed to it by its owner (the
// process set-up maps it in shared memory); it never allocates.
#pragma once

#include "board/types.h"

class EvalHash {
  public:
    static constexpr std::uint64_t DEFAULT_ENTRIES = 4194304; // 32 MiB
    // Entries for a "pref:size-hashtable=" value (sizes below 1 count as 1).
    static std::uint64_t entriesForSetting(int sizeSetting);

    void attach(U64* entries, std::uint64_t count);
    void detach();
    bool usable() const { return entries_ != nullptr; }
    std::uint64_t size() const { return count_; }
    // The stored low 32 bits (low 16 = the evaluation, sign-extended by the
    // caller) when bits 16-63 match, else TT_NO_CUTOFF.
    std::int32_t probe(U64 key) const;
    void store(U64 key, int score);
    void clear();

  private:
    U64* entries_ = nullptr;
    std::uint64_t count_ = 0;
};
