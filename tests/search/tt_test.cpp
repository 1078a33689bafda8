// The transposition table: what a probe answers after a sequence of stores, in
// a table of 1000 entries (keys 1000 apart share a slot, keys 1024 apart not).
#include <gtest/gtest.h>

#include <vector>

#include "search/tt.h"

namespace {

constexpr U64 KEY = 0x123456789ABCDEF0ULL;
constexpr Move M1 = 0x0321, M2 = 0x0456, NO = NO_MOVE;
constexpr int MISS = TT_NO_CUTOFF, U = TT_UPPER, L = TT_LOWER, E = TT_EXACT;

struct Store {
    int key, depth, ply, score, bound;
    Move move;
};
// After the stores, a probe of key at depth with the window, and its move.
struct Row {
    std::vector<Store> stores;
    int key, depth, alpha, beta, probe;
    Move move;
};

const Row ROWS[] = {
    // Each bound answers its side of the window, from an entry at least as deep.
    {{{0, 5, 0, 120, L, M1}}, 0, 5, 0, 100, 100, M1},
    {{{0, 5, 0, 120, L, M1}}, 0, 5, 0, 120, 120, M1},
    {{{0, 5, 0, 120, L, M1}}, 0, 5, 0, 121, MISS, M1},
    {{{0, 5, 0, 120, L, M1}}, 0, 6, 0, 100, MISS, M1},
    {{{0, 5, 0, 120, L, M1}}, 0, 4, 0, 100, 100, M1},
    {{{0, 5, 0, -30, U, M1}}, 0, 5, -20, 50, -20, M1},
    {{{0, 5, 0, -30, U, M1}}, 0, 5, -30, 50, -30, M1},
    {{{0, 5, 0, -30, U, M1}}, 0, 5, -31, 50, MISS, M1},
    {{{0, 5, 0, -16000, E, M1}}, 0, 3, 100, 200, -16000, M1},
    {{{0, 5, 0, -16000, E, M1}}, 0, 3, -16500, -16400, -16000, M1},
    {{{0, 5, 0, 40, E, M1}}, 1000, 0, -16000, 16000, MISS, NO},
    {{{0, 70, 0, 40, E, M1}}, 0, 63, 0, 1, 40, M1}, // depths above 63 stored as 63
    {{{0, -3, 0, 40, E, M1}}, 0, 0, 0, 1, 40, M1},  // below 0 as 0
    {{{0, 5, -1, 40, L, M1}, {0, 4, 63, 90, E, M2}}, 0, 5, 0, 40, 40, M1}, // ply -1 is age 63
    // Modulo indexing: 1024 apart both stay, 1000 apart the deeper one wins.
    {{{0, 7, 66, -5, E, M2}, {1024, 3, 66, 9, E, M1}}, 0, 7, 0, 1, -5, M2},
    {{{0, 7, 66, -5, E, M2}, {1024, 3, 66, 9, E, M1}}, 1024, 3, 0, 1, 9, M1},
    {{{0, 7, 66, -5, E, M2}, {1000, 9, 66, 11, E, M1}}, 0, 0, 0, 1, MISS, NO},
    {{{0, 7, 66, -5, E, M2}, {1000, 9, 66, 11, E, M1}}, 1000, 9, 0, 1, 11, M1},
    // A deeper entry of the same search keeps its slot, move and all...
    {{{0, 8, 10, 50, E, M1}, {1000, 3, 74, 70, E, M2}}, 0, 8, 0, 100, 50, M1},
    {{{0, 8, 10, 50, E, M1}, {1000, 3, 74, 70, E, M2}}, 1000, 0, 0, 100, MISS, NO},
    {{{0, 8, 10, 50, E, M1}, {0, 4, 10, 90, E, M2}}, 0, 8, 0, 100, 50, M1},
    // ...a later search replaces it; the same position only takes the move.
    {{{0, 8, 10, 50, E, M1}, {1000, 3, 11, 70, L, M2}}, 0, 0, 0, 100, MISS, NO},
    {{{0, 8, 10, 50, E, M1}, {1000, 3, 11, 70, L, M2}}, 1000, 3, 0, 60, 60, M2},
    {{{0, 8, 10, 50, E, M1}, {0, 4, 11, 90, L, M2}, {1000, 3, 10, 7, E, M1}}, 0, 8, 0, 100, 50, M2},
    // Equal depth: an exact score stays; a lower bound only for a higher one,
    // an upper bound only for a lower one; other bounds replace. A result
    // kept changes at most the move, and a store without a move keeps it.
    {{{0, 5, 0, 40, E, M1}, {0, 5, 0, 99, L, M2}}, 0, 5, -100, 100, 40, M2},
    {{{0, 5, 0, 40, L, M1}, {0, 5, 3, 40, L, M2}, {1000, 4, 0, 7, E, M1}}, 0, 5, 0, 40, 40, M2},
    {{{0, 5, 0, 40, L, M1}, {0, 5, 0, 30, L, NO}}, 0, 5, 0, 40, 40, M1},
    {{{0, 5, 0, 40, L, M1}, {0, 5, 0, 45, L, NO}}, 0, 5, 0, 45, 45, M1},
    {{{0, 5, 0, -10, U, M1}, {0, 5, 0, -5, U, NO}}, 0, 5, -10, 0, -10, M1},
    {{{0, 5, 0, -10, U, M1}, {0, 5, 3, -10, U, NO}, {1000, 4, 0, 7, E, M2}}, 0, 5, -10, 0, -10, M1},
    {{{0, 5, 0, -10, U, M1}, {0, 5, 0, -20, U, NO}}, 0, 5, -20, 0, -20, M1},
    {{{0, 5, 0, 10, U, M1}, {0, 5, 0, 80, L, M2}}, 0, 5, 0, 70, 70, M2},
    {{{0, 5, 0, 10, U, M1}, {0, 5, 0, 80, L, M2}, {0, 6, 0, 20, E, NO}}, 0, 6, 0, 70, 20, M2},
};

TEST(TranspositionTable, StoresThenProbe) {
    std::vector<TTEntry> memory(1000);
    TranspositionTable tt;
    for (const Row& r : ROWS) {
        tt.attach(memory.data(), memory.size());
        tt.clear();
        for (const Store& s : r.stores)
            tt.store(KEY + s.key, s.depth, s.ply, s.score, s.bound, s.move);
        const int row = static_cast<int>(&r - ROWS) + 1;
        EXPECT_EQ(tt.probe(KEY + r.key, r.depth, r.alpha, r.beta), r.probe) << "row " << row;
        EXPECT_EQ(tt.bestMove(KEY + r.key), r.move) << "row " << row;
    }
}

TEST(TranspositionTable, EntryWordsTornWordsAndADetachedTable) {
    std::vector<TTEntry> memory(1000);
    TranspositionTable tt;
    tt.attach(memory.data(), memory.size());
    TTEntry& e = memory[KEY % 1000];
    tt.store(KEY, 7, 66, -5, TT_EXACT, M2);
    EXPECT_EQ(e.data0, M2);
    EXPECT_EQ(e.data1, 0xFFFBu | 7u << 16 | 2u << 22 | 2u << 28);
    EXPECT_EQ(e.keyLow ^ e.data0, static_cast<std::uint32_t>(KEY));
    EXPECT_EQ(e.keyHigh ^ e.data1, static_cast<std::uint32_t>(KEY >> 32));
    // A move update carries over the bits of the move word above the move.
    e.data0 |= 0xABCD0000u;
    e.keyLow ^= 0xABCD0000u;
    tt.store(KEY, 7, 66, -5, TT_EXACT, M1);
    EXPECT_EQ(e.data0, 0xABCD0000u | M1);

    // Key words of one store with data words (or one data word) of another:
    // neither position is found.
    const TTEntry first = e;
    tt.store(KEY + 1000, 9, 0, -70, TT_LOWER, M2);
    const TTEntry second = e;
    for (const TTEntry& torn : {TTEntry{first.keyLow, first.keyHigh, second.data0, second.data1},
                                TTEntry{second.keyLow, second.keyHigh, first.data0, first.data1},
                                TTEntry{first.keyLow, first.keyHigh, second.data0, first.data1},
                                TTEntry{first.keyLow, first.keyHigh, first.data0, second.data1}}) {
        e = torn;
        for (U64 key : {KEY, KEY + 1000}) {
            EXPECT_EQ(tt.probe(key, 0, -16000, 16000), MISS);
            EXPECT_EQ(tt.bestMove(key), NO);
        }
    }

    tt.attach(memory.data(), 0);
    EXPECT_FALSE(tt.usable());
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    tt.clear();
    EXPECT_EQ(tt.probe(KEY, 0, -16000, 16000), MISS);
    EXPECT_EQ(tt.bestMove(KEY), NO);
}

} // namespace
