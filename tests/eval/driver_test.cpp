// The evaluation driver around the terms: the evaluation hash, the lazy
// cut-off and the fifty-move damping.
#include "eval_support.h"

namespace {

// Bits 16-63 of the key and the 16-bit score in the key's slot; a store
// replaces the slot's entry, and nothing is stored or found while detached.
TEST(EvalHash, StoresKeyAndSixteenBitScoreInTheKeysSlot) {
    U64 entries[7] = {};
    EvalHash hash;
    const U64 key = 0x123456789ABCDEF0ULL, other = key + (U64{7} << 20); // the same slot
    hash.store(key, 5);
    hash.attach(entries, 7);
    EXPECT_EQ(hash.probe(key), TT_NO_CUTOFF);
    hash.store(key, -5);
    EXPECT_EQ(entries[key % 7], 0x123456789ABCFFFBULL);
    EXPECT_EQ(hash.probe(key + 7 * 256), static_cast<std::int32_t>(0x9ABCFFFBu));
    EXPECT_EQ(hash.probe(other), TT_NO_CUTOFF);
    hash.store(other, -32768);
    EXPECT_EQ(hash.probe(key), TT_NO_CUTOFF);
    EXPECT_EQ(static_cast<std::int16_t>(hash.probe(other) & 0xFFFF), -32768);
    hash.clear();
    EXPECT_EQ(entries[other % 7] + hash.probe(other), 0u + TT_NO_CUTOFF);
    hash.detach();
    EXPECT_EQ(hash.probe(other), TT_NO_CUTOFF);
}

// A hit answers without evaluating (the estimates stay) and is damped from
// the 51st quiet ply to zero at the 100th, from the side to move's view. A
// computed score is damped the same way: the position loop compares the two.
TEST_F(WithHash, HitsAreDampedAndLeaveTheEstimates) {
    Board w = boardFrom("4k3/8/8/8/8/8/4P3/4K3 w - - 60 70");
    Board bl = boardFrom("4k3/8/8/8/8/8/4P3/4K3 b - - 60 70");
    const std::pair<int, int> stores[] = {{60, 100}, {60, -101}, {51, 100}, {50, 100}, {100, 99}};
    std::string got;
    w.positional = lastPositional = 1234;
    for (auto [clock, score] : stores) {
        w.halfmoveClock = bl.halfmoveClock = clock;
        hash.store(w.boardkey, score);
        hash.store(bl.boardkey, score);
        got += std::to_string(evaluate(w, -16000, 16000)) + "/" +
               std::to_string(evaluate(bl, -16000, 16000)) + " ";
    }
    EXPECT_EQ(got, "80/-80 -80/80 98/-98 100/-100 0/0 ");
    EXPECT_EQ(w.positional + lastPositional, 2 * 1234);
}

// Both estimates outside the margin (when either is inside, the signature's
// searches see the full evaluation).
TEST_F(WithHash, LazyCutOffAtTheMarginLeavesTheHashAndEstimatesAlone) {
    Board b = boardFrom("4k3/8/8/8/8/8/8/R3K3 w - - 0 1"); // lazy = 500
    Board black = boardFrom("4k3/8/8/8/8/8/8/R3K3 b - - 0 1");
    hash.clear();
    b.positional = black.positional = lastPositional = 0;
    EXPECT_EQ(evaluate(b, 676, 700), 676);  // 500 + 175 < 676
    EXPECT_EQ(evaluate(b, -700, 324), 324); // 500 - 175 > 324
    EXPECT_EQ(evaluate(black, -324, 0), -324);
    EXPECT_EQ(evaluate(black, -1000, -676), -676);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(b.positional + lastPositional, 0);
}

} // namespace
