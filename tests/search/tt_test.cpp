// The transposition table's probe and replacement rules.
#include <gtest/gtest.h>

#include <vector>

#include "eval/evalhash.h"
#include "search/tt.h"

namespace {

constexpr U64 KEY = 0x123456789ABCDEF0ULL;
constexpr Move M1 = 0x0321, M2 = 0x0456;

class TTTest : public ::testing::Test {
  protected:
    explicit TTTest(std::uint64_t entries = 1000) : memory(entries) {
        tt.attach(memory.data(), memory.size());
    }
    TTEntry& slotOf(U64 key) { return memory[key % memory.size()]; }
    std::vector<TTEntry> memory;
    TranspositionTable tt;
};

TEST_F(TTTest, ProbeAnswersByBound) {
    tt.store(KEY, 5, 0, 120, TT_LOWER, M1);
    EXPECT_EQ(tt.probe(KEY, 5, 0, 100), 100); // score >= beta: beta
    EXPECT_EQ(tt.probe(KEY, 5, 0, 120), 120);
    EXPECT_EQ(tt.probe(KEY, 5, 0, 121), TT_NO_CUTOFF);
    EXPECT_EQ(tt.probe(KEY, 6, 0, 100), TT_NO_CUTOFF); // too shallow
    EXPECT_EQ(tt.probe(KEY, 4, 0, 100), 100);

    tt.store(KEY + 1, 5, 0, -30, TT_UPPER, M1);
    EXPECT_EQ(tt.probe(KEY + 1, 5, -20, 50), -20); // score <= alpha: alpha
    EXPECT_EQ(tt.probe(KEY + 1, 5, -30, 50), -30);
    EXPECT_EQ(tt.probe(KEY + 1, 5, -31, 50), TT_NO_CUTOFF);

    // Exact scores come back as they are, even outside the window.
    tt.store(KEY + 2, 5, 0, -16000, TT_EXACT, M1);
    EXPECT_EQ(tt.probe(KEY + 2, 3, 100, 200), -16000);
    EXPECT_EQ(tt.probe(KEY + 2, 3, -16500, -16400), -16000);

    // Other positions miss, also in a used slot.
    EXPECT_EQ(tt.probe(KEY + 1000, 0, -16000, 16000), TT_NO_CUTOFF);
    EXPECT_EQ(tt.bestMove(KEY + 1000), NO_MOVE);
    EXPECT_EQ(tt.bestMove(KEY), M1);
}

TEST_F(TTTest, EntryLayoutAndModuloIndexing) {
    // 1000 entries: keys 1000 apart share a slot, keys 1024 apart do not.
    tt.store(KEY, 7, 66, -5, TT_EXACT, M2);
    const TTEntry& e = memory[KEY % 1000];
    EXPECT_EQ(e.data0, M2);
    EXPECT_EQ(e.data1, (std::uint32_t{0xFFFB}) | 7u << 16 | 2u << 22 | 2u << 28);
    EXPECT_EQ(e.keyLow ^ e.data0, static_cast<std::uint32_t>(KEY));
    EXPECT_EQ(e.keyHigh ^ e.data1, static_cast<std::uint32_t>(KEY >> 32));
    tt.store(KEY + 1024, 3, 66, 9, TT_EXACT, M1);
    EXPECT_EQ(tt.probe(KEY, 7, 0, 1), -5);
    EXPECT_EQ(tt.probe(KEY + 1024, 3, 0, 1), 9);
    tt.store(KEY + 1000, 9, 66, 11, TT_EXACT, M1);
    EXPECT_EQ(tt.probe(KEY, 0, 0, 1), TT_NO_CUTOFF);
    EXPECT_EQ(tt.probe(KEY + 1000, 9, 0, 1), 11);
}

TEST_F(TTTest, DeeperEntryOfTheSameAgeIsKept) {
    tt.store(KEY, 8, 10, 50, TT_EXACT, M1);
    // Another position in the slot, shallower, same age: nothing changes.
    tt.store(KEY + 1000, 3, 10 + 64, 70, TT_EXACT, M2);
    EXPECT_EQ(tt.probe(KEY, 8, 0, 100), 50);
    EXPECT_EQ(tt.bestMove(KEY + 1000), NO_MOVE);
    // The same position, shallower, same age: not even the move changes.
    tt.store(KEY, 4, 10, 90, TT_EXACT, M2);
    EXPECT_EQ(tt.probe(KEY, 8, 0, 100), 50);
    EXPECT_EQ(tt.bestMove(KEY), M1);
    // A newer search replaces it with a shallower entry of another position.
    tt.store(KEY + 1000, 3, 11, 70, TT_LOWER, M2);
    EXPECT_EQ(tt.bestMove(KEY), NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 1000, 3, 0, 60), 60);
}

TEST_F(TTTest, OlderDeeperResultKeepsItsScoreButTakesTheMove) {
    tt.store(KEY, 8, 10, 50, TT_EXACT, M1);
    tt.store(KEY, 4, 11, 90, TT_LOWER, M2);
    EXPECT_EQ(tt.probe(KEY, 8, 0, 100), 50);
    EXPECT_EQ(tt.bestMove(KEY), M2);
    EXPECT_EQ(slotOf(KEY).data1 >> 22 & 63, 10u); // age unchanged too
}

TEST_F(TTTest, EqualDepthReplacementRules) {
    // Exact stays against anything of equal depth; only the move may change.
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    tt.store(KEY, 5, 0, 99, TT_LOWER, M2);
    EXPECT_EQ(tt.probe(KEY, 5, -100, 100), 40);
    EXPECT_EQ(tt.bestMove(KEY), M2);

    // A lower bound that is not higher only updates the move...
    // (the age shows whether the entry was rewritten).
    tt.store(KEY + 1, 5, 0, 40, TT_LOWER, M1);
    tt.store(KEY + 1, 5, 3, 40, TT_LOWER, M2);
    EXPECT_EQ(tt.probe(KEY + 1, 5, 0, 40), 40);
    EXPECT_EQ(tt.bestMove(KEY + 1), M2);
    EXPECT_EQ(slotOf(KEY + 1).data1 >> 22 & 63, 0u);
    tt.store(KEY + 1, 5, 0, 30, TT_LOWER, NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 1, 5, 0, 40), 40);
    EXPECT_EQ(tt.bestMove(KEY + 1), M2);
    // ...a higher one replaces it.
    tt.store(KEY + 1, 5, 0, 45, TT_LOWER, NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 1, 5, 0, 45), 45);
    EXPECT_EQ(tt.bestMove(KEY + 1), M2); // a zero move keeps the stored one

    // Upper bounds: a bound that is not lower stays out, a lower one goes in.
    tt.store(KEY + 2, 5, 0, -10, TT_UPPER, M1);
    tt.store(KEY + 2, 5, 0, -5, TT_UPPER, NO_MOVE);
    tt.store(KEY + 2, 5, 3, -10, TT_UPPER, NO_MOVE);
    EXPECT_EQ(slotOf(KEY + 2).data1 >> 22 & 63, 0u);
    EXPECT_EQ(tt.probe(KEY + 2, 5, -10, 0), -10);
    EXPECT_EQ(tt.probe(KEY + 2, 5, -11, 0), TT_NO_CUTOFF);
    tt.store(KEY + 2, 5, 0, -20, TT_UPPER, NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 2, 5, -20, 0), -20);
    EXPECT_EQ(tt.bestMove(KEY + 2), M1);

    // Any other bound at equal depth replaces; so does a deeper store.
    tt.store(KEY + 3, 5, 0, 10, TT_UPPER, M1);
    tt.store(KEY + 3, 5, 0, 80, TT_LOWER, M2);
    EXPECT_EQ(tt.probe(KEY + 3, 5, 0, 70), 70);
    tt.store(KEY + 3, 6, 0, 20, TT_EXACT, NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 3, 6, 0, 70), 20);
    EXPECT_EQ(tt.bestMove(KEY + 3), M2);
}

TEST_F(TTTest, MoveOnlyUpdateKeepsTheOtherBitsOfItsWord) {
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    TTEntry& e = slotOf(KEY);
    // Bits 16-31 of the move word are never written by a store, but a move
    // update must carry them over rather than clear them.
    e.data0 |= 0xABCD0000u;
    e.keyLow ^= 0xABCD0000u;
    ASSERT_EQ(tt.bestMove(KEY), M1);
    tt.store(KEY, 5, 0, 40, TT_EXACT, M2);
    EXPECT_EQ(e.data0, 0xABCD0000u | M2);
    EXPECT_EQ(tt.bestMove(KEY), M2);
}

TEST_F(TTTest, TornEntryReadsAsAMiss) {
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    TTEntry first = slotOf(KEY);
    tt.store(KEY + 1000, 6, 0, -70, TT_LOWER, M2);
    TTEntry second = slotOf(KEY);
    // Key words of the first store with data words of the second, and the
    // other way round: neither position is found.
    for (bool keysOfFirst : {true, false}) {
        TTEntry& e = slotOf(KEY);
        const TTEntry& k = keysOfFirst ? first : second;
        const TTEntry& d = keysOfFirst ? second : first;
        e = TTEntry{k.keyLow, k.keyHigh, d.data0, d.data1};
        for (U64 key : {KEY, KEY + 1000}) {
            EXPECT_EQ(tt.probe(key, 0, -16000, 16000), TT_NO_CUTOFF);
            EXPECT_EQ(tt.bestMove(key), NO_MOVE);
        }
        // Only the move word torn is a miss as well.
        e = TTEntry{first.keyLow, first.keyHigh, second.data0, first.data1};
        EXPECT_EQ(tt.bestMove(KEY), NO_MOVE);
    }
}

TEST(TTSizes, DetachedTableAnswersNothing) {
    TranspositionTable tt;
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    tt.clear();
    EXPECT_EQ(tt.probe(KEY, 0, -16000, 16000), TT_NO_CUTOFF);
    EXPECT_EQ(tt.bestMove(KEY), NO_MOVE);
    std::vector<TTEntry> memory(4);
    tt.attach(memory.data(), 0);
    EXPECT_FALSE(tt.usable());
}

} // namespace
