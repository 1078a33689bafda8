// The evaluation hash over memory handed to it.
#include <gtest/gtest.h>

#include "eval/evalhash.h"

namespace {

TEST(EvalHash, MissesUntilStoredThenReturnsTheLowWord) {
    U64 entries[7] = {};
    EvalHash hash;
    EXPECT_EQ(hash.probe(0x123456789ABCDEF0ULL), TT_NO_CUTOFF); // nothing attached
    hash.store(0x123456789ABCDEF0ULL, 5);                       // ignored
    hash.attach(entries, 7);
    ASSERT_TRUE(hash.usable());

    const U64 key = 0x123456789ABCDEF0ULL;
    EXPECT_EQ(hash.probe(key), TT_NO_CUTOFF);
    hash.store(key, -5);
    const std::int32_t low = hash.probe(key);
    EXPECT_EQ(static_cast<std::int16_t>(low & 0xFFFF), -5);
    EXPECT_EQ(static_cast<std::uint32_t>(low) >> 16, (key >> 16) & 0xFFFF);
    EXPECT_EQ(entries[key % 7], (key & ~U64{0xFFFF}) | 0xFFFB);

    // Keys that differ only in the low 16 bits and share the slot match.
    EXPECT_EQ(hash.probe(key + 7 * 256) & 0xFFFF, 0xFFFB);
    // Another key in the same slot misses, and a store overwrites.
    const U64 other = key + (U64{7} << 20);
    ASSERT_EQ(other % 7, key % 7);
    EXPECT_EQ(hash.probe(other), TT_NO_CUTOFF);
    hash.store(other, 300);
    EXPECT_EQ(hash.probe(key), TT_NO_CUTOFF);
    EXPECT_EQ(hash.probe(other) & 0xFFFF, 300);

    hash.clear();
    for (U64 e : entries) EXPECT_EQ(e, 0u);
    EXPECT_EQ(hash.probe(other), TT_NO_CUTOFF);
    hash.detach();
    EXPECT_FALSE(hash.usable());
    EXPECT_EQ(hash.probe(other), TT_NO_CUTOFF);
}

TEST(EvalHash, StoresKeepSixteenBitsOfTheScore) {
    U64 entries[3] = {};
    EvalHash hash;
    hash.attach(entries, 3);
    for (int score : {0, 1, -1, 16000, -16000, 32767, -32768}) {
        hash.store(0xFFFF0000ULL + 1, score);
        EXPECT_EQ(static_cast<std::int16_t>(hash.probe(0xFFFF0000ULL + 1) & 0xFFFF), score);
    }
}

} // namespace
