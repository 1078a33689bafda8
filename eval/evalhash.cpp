#include "eval/evalhash.h"

#include <cstring>

namespace {

constexpr U64 KEY_MASK = ~U64{0xFFFF}; // bits 16-63 of the key

// Entries are shared between processes without locks: each one is read and
// written as one 64-bit word; a torn or foreign entry fails the key check.
inline U64 loadEntry(const U64* slot) {
    return __atomic_load_n(slot, __ATOMIC_RELAXED);
}
inline void storeEntry(U64* slot, U64 value) {
    __atomic_store_n(slot, value, __ATOMIC_RELAXED);
}

} // namespace

std::uint64_t EvalHash::entriesForSetting(int sizeSetting) {
    return static_cast<std::uint64_t>(sizeSetting < 1 ? 1 : sizeSetting) * 65536;
}

void EvalHash::attach(U64* entries, std::uint64_t count) {
    if (!entries || count == 0) {
        detach();
        return;
    }
    entries_ = entries;
    count_ = count;
}

void EvalHash::detach() {
    entries_ = nullptr;
    count_ = 0;
}

std::int32_t EvalHash::probe(U64 key) const {
    if (!entries_) return TT_NO_CUTOFF;
    const U64 entry = loadEntry(&entries_[key % count_]);
    if ((entry ^ key) & KEY_MASK) return TT_NO_CUTOFF;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(entry));
}

void EvalHash::store(U64 key, int score) {
    if (!entries_) return;
    storeEntry(&entries_[key % count_], (key & KEY_MASK) | static_cast<std::uint16_t>(score));
}

void EvalHash::clear() {
    // A plain fill: a reader racing with it sees zero or its old entry, and
    // an all-zero word never matches a key whose bits 16-63 are not zero.
    if (entries_) std::memset(static_cast<void*>(entries_), 0, count_ * sizeof(U64));
}
