// The block cache of table files.
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <thread>

#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb_support.h"
#include "tools/emd_writer.h"

namespace {

constexpr int KBK = 3, KQK = 5, KRNKNN = 151;

// Plain and compressed sides read at random by one thread and by four sharing
// three entries; then no cache, files gone during play and short blocks.
TEST(EgtbCache, ReadsEqualTheFileTheLeastRecentlyUsedGoesAndShortBlocksAreNotStale) {
    RegistryScope scope;
    TableDir dir;
    auto winBytes = [](std::size_t size, std::uint32_t seed) { // every value a win
        Bytes b = randomBytes(size, seed);
        for (auto& x : b) x = static_cast<std::uint8_t>(1 + x % 100);
        return b;
    };
    const Bytes plain = winBytes(200 * EMD_BLOCK_SIZE, 21);
    const Bytes packed = winBytes(60 * EMD_BLOCK_SIZE + 77, 22);
    dir.write("kqk.nbw", plain);
    dir.write("kqk.nbb.emd", compressTable(packed.data(), packed.size()));
    initEgtb(dir.path().c_str(), 1, true);
    EXPECT_EQ(cacheEntryCount(), 126);
    static std::uint8_t memory[3 * CACHE_ENTRY_BYTES + 100];
    std::atomic<int> wrong{0};
    auto reads = [&](std::uint32_t seed, int n) {
        std::mt19937 rng(seed);
        for (int i = 0; i < n; ++i) {
            std::uint32_t a = rng() % plain.size(), b = rng() % packed.size();
            wrong += probeValue(KQK, 0, a) != plain[a] + VALUE_WIN_BASE;
            wrong += probeValue(KQK, 1, b) != packed[b] + VALUE_WIN_BASE;
        }
    };
    reads(5, 20000);
    CacheStats s = cacheStats();
    EXPECT_EQ(s.hits + s.misses, 40000u);
    EXPECT_GT(s.hits, 5000u);
    ASSERT_EQ(setCacheMemory(memory, sizeof memory), 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(reads, 100 + t, 600);
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    ASSERT_EQ(setCacheMemory(memory, 2 * CACHE_ENTRY_BYTES + 100), 1);
    EXPECT_EQ(cacheEntryCount(), 2);
    resetCacheStats();
    for (int block : {0, 1, 0, 2, 0, 1}) // 2 replaces 1, then 1 replaces 2
        EXPECT_EQ(probeValue(KQK, 0, block * EMD_BLOCK_SIZE + 11),
                  plain[block * EMD_BLOCK_SIZE + 11] + VALUE_WIN_BASE);
    EXPECT_EQ(cacheStats().hits * 10 + cacheStats().misses, 24u);
    dir.write("kqk.nbw", Bytes(100, 1));
    initEgtb(dir.path().c_str(), 0, true);
    EXPECT_EQ(cacheEntryCount(), 0);
    EXPECT_EQ(probeValue(KQK, 0, 5), VALUE_BROKEN);
    EXPECT_EQ(setCacheMemory(memory, 31), 0);
    EXPECT_EQ(setCacheMemory(memory, CACHE_ENTRY_BYTES - 1), 1);
    EXPECT_EQ(probeValue(KQK, 0, 5), VALUE_BROKEN);
    EXPECT_EQ(setCacheMemory(memory, CACHE_ENTRY_BYTES), 1);
    EXPECT_EQ(probeValue(KQK, 0, 5), 32641);
    // A file gone during play stays readable while open; once the files are
    // closed, what is cached still reads and the rest does not.
    dir.write("kbk.nbw", Bytes(3 * EMD_BLOCK_SIZE, 9));
    registerTables(dir.path().c_str());
    setCacheMemory(memory, CACHE_ENTRY_BYTES);
    EXPECT_EQ(probeValue(KBK, 0, 7), 32649);
    std::remove(dir.file("kbk.nbw").c_str());
    EXPECT_EQ(probeValue(KBK, 0, EMD_BLOCK_SIZE), 32649);
    closeAllTableFiles();
    EXPECT_EQ(probeValue(KBK, 0, EMD_BLOCK_SIZE + 8), 32649);
    EXPECT_EQ(probeValue(KBK, 0, 2 * EMD_BLOCK_SIZE), VALUE_BROKEN);
    // A 16-bit table whose range runs past its file: the entry that held a
    // full block must not serve its old bytes.
    tableRegistry[KRNKNN].knownLength[0] = 4000;
    Bytes wide(2 * 1500, 0);
    wide[2 * 1499] = 0x34, wide[2 * 1499 + 1] = 0xFE;
    dir.write("kbk.nbw", Bytes(EMD_BLOCK_SIZE, 9));
    dir.write("krnknn.nbw", wide);
    registerTables(dir.path().c_str());
    setCacheMemory(memory, CACHE_ENTRY_BYTES);
    EXPECT_EQ(probeValue(KBK, 0, 3100), 32649);
    EXPECT_EQ(probeValue(KRNKNN, 0, 1499), 0x34 - 512);
    EXPECT_EQ(probeValue(KRNKNN, 0, 1550), VALUE_BROKEN);
    EXPECT_EQ(probeValue(KRNKNN, 0, 4000), VALUE_BROKEN);
}

} // namespace
