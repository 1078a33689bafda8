#include "search/tt.h"

#include <atomic>
#include <cstring>

namespace {

// The entries are read and written by several processes at once; each word
// is accessed atomically on its own into a private copy, and the XOR check
// catches a mix of words.
inline std::uint32_t loadWord(const std::uint32_t& w) {
    return std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(w))
        .load(std::memory_order_relaxed);
}

inline void storeWord(std::uint32_t& w, std::uint32_t v) {
    std::atomic_ref<std::uint32_t>(w).store(v, std::memory_order_relaxed);
}

inline TTEntry readEntry(const TTEntry& e) {
    return {loadWord(e.keyLow), loadWord(e.keyHigh), loadWord(e.data0), loadWord(e.data1)};
}

inline void writeEntry(TTEntry& e, U64 key, std::uint32_t data0, std::uint32_t data1) {
    storeWord(e.data0, data0);
    storeWord(e.data1, data1);
    storeWord(e.keyLow, static_cast<std::uint32_t>(key) ^ data0);
    storeWord(e.keyHigh, static_cast<std::uint32_t>(key >> 32) ^ data1);
}

inline bool matches(const TTEntry& w, U64 key) {
    return (w.keyLow ^ w.data0) == static_cast<std::uint32_t>(key) &&
           (w.keyHigh ^ w.data1) == static_cast<std::uint32_t>(key >> 32);
}

inline int scoreOf(std::uint32_t data1) {
    return static_cast<std::int16_t>(data1 & 0xFFFF);
}
inline int depthOf(std::uint32_t data1) {
    return (data1 >> 16) & 63;
}
inline int ageOf(std::uint32_t data1) {
    return (data1 >> 22) & 63;
}
inline int boundOf(std::uint32_t data1) {
    return (data1 >> 28) & 3;
}

inline std::uint32_t packData1(int score, int depth, int age, int bound) {
    return (static_cast<std::uint32_t>(score) & 0xFFFF) | static_cast<std::uint32_t>(depth) << 16 |
           static_cast<std::uint32_t>(age) << 22 | (static_cast<std::uint32_t>(bound) & 3) << 28;
}

} // namespace

std::uint64_t TranspositionTable::entriesForSetting(int sizeSetting) {
    return ENTRIES_PER_MB * static_cast<std::uint64_t>(sizeSetting < 1 ? 1 : sizeSetting);
}

void TranspositionTable::attach(TTEntry* entries, std::uint64_t count) {
    if (!entries || count == 0) {
        detach();
        return;
    }
    entries_ = entries;
    count_ = count;
    initialized_ = true;
}

void TranspositionTable::detach() {
    entries_ = nullptr;
    count_ = 0;
    initialized_ = false;
}

void TranspositionTable::clear() {
    if (initialized_) std::memset(static_cast<void*>(entries_), 0, count_ * sizeof(TTEntry));
}

int TranspositionTable::probe(U64 key, int depth, int alpha, int beta) const {
    if (!initialized_) return TT_NO_CUTOFF;
    TTEntry w = readEntry(entries_[key % count_]);
    if (!matches(w, key) || depthOf(w.data1) < depth) return TT_NO_CUTOFF;
    int score = scoreOf(w.data1);
    switch (boundOf(w.data1)) {
    case TT_LOWER:
        return score < beta ? TT_NO_CUTOFF : beta;
    case TT_EXACT:
        return score;
    case TT_UPPER:
        return score > alpha ? TT_NO_CUTOFF : alpha;
    default:
        return TT_NO_CUTOFF;
    }
}

Move TranspositionTable::bestMove(U64 key) const {
    if (!initialized_) return NO_MOVE;
    TTEntry w = readEntry(entries_[key % count_]);
    return matches(w, key) ? static_cast<Move>(w.data0 & 0xFFFF) : NO_MOVE;
}

void TranspositionTable::store(U64 key, int depth, int ply, int score, int bound, Move move) {
    if (!initialized_) return;
    TTEntry& e = entries_[key % count_];
    TTEntry w = readEntry(e);
    int d = depth < 0 ? 0 : depth > 63 ? 63 : depth;
    int age = ((ply % 64) + 64) % 64;
    int storedDepth = depthOf(w.data1);
    // A deeper result of the current search keeps its slot against anything.
    if (storedDepth > d && ageOf(w.data1) == age) return;
    std::uint32_t data1 = packData1(score, d, age, bound);
    if (!matches(w, key)) {
        writeEntry(e, key, move, data1);
        return;
    }
    int s = static_cast<std::int16_t>(score);
    int storedScore = scoreOf(w.data1);
    int storedBound = boundOf(w.data1);
    bool keepResult =
        storedDepth > d ||
        (storedDepth == d && (storedBound == TT_EXACT ||
                              (storedBound == TT_LOWER && bound == TT_LOWER && s <= storedScore) ||
                              (storedBound == TT_UPPER && bound == TT_UPPER && s >= storedScore)));
    Move storedMove = static_cast<Move>(w.data0 & 0xFFFF);
    if (keepResult) {
        if (move != NO_MOVE && move != storedMove)
            writeEntry(e, key, (w.data0 & 0xFFFF0000u) | move, w.data1);
        return;
    }
    std::uint32_t data0 = move != NO_MOVE ? (w.data0 & 0xFFFF0000u) | move : w.data0;
    writeEntry(e, key, data0, data1);
}
