// The block cache: its size, hits and evictions, short blocks, and readers
// on several threads sharing a tiny cache.
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

// Table bytes 1..100: every value a win, b + 32640.
Bytes winBytes(std::size_t size, std::uint32_t seed) {
    Bytes b = randomBytes(size, seed);
    for (auto& x : b) x = static_cast<std::uint8_t>(1 + x % 100);
    return b;
}

TEST(EgtbCache, RandomReadsOverAThousandBlocksEqualTheFile) {
    RegistryScope scope;
    TableDir dir;
    const Bytes plain = winBytes(1000 * EMD_BLOCK_SIZE, 21);
    const Bytes packedData = winBytes(60 * EMD_BLOCK_SIZE + 77, 22);
    dir.write("kqk.nbw", plain);
    dir.write("kqk.nbb.emd", compressTable(packedData.data(), packedData.size()));
    initEgtb(dir.path().c_str(), 1, true);
    EXPECT_EQ(cacheEntryCount(), 126);
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t a = rng() % plain.size(), b = rng() % packedData.size();
        ASSERT_EQ(probeValue(KQK, 0, a), plain[a] + VALUE_WIN_BASE) << a;
        ASSERT_EQ(probeValue(KQK, 1, b), packedData[b] + VALUE_WIN_BASE) << b;
    }
    CacheStats s = cacheStats();
    EXPECT_EQ(s.hits + s.misses, 40000u);
    EXPECT_GT(s.hits, 5000u);
}

TEST(EgtbCache, BlocksSharingABucketAndTheLeastRecentlyUsedVictim) {
    RegistryScope scope;
    TableDir dir;
    const Bytes data = winBytes(40 * EMD_BLOCK_SIZE, 23);
    dir.write("kqk.nbw", data);
    initEgtb(dir.path().c_str(), 1, true);
    auto at = [&](int block) {
        std::uint32_t i = block * EMD_BLOCK_SIZE + 11;
        EXPECT_EQ(probeValue(KQK, 0, i), data[i] + VALUE_WIN_BASE) << block;
    };
    for (int block : {3, 35, 3, 35}) at(block);
    EXPECT_EQ(cacheStats().hits, 2u);
    EXPECT_EQ(cacheStats().misses, 2u);
    // Room for two blocks: after 0, 1, 0 the next block replaces 1.
    static std::uint8_t memory[2 * CACHE_ENTRY_BYTES + 100];
    ASSERT_EQ(setCacheMemory(memory, sizeof memory), 1);
    EXPECT_EQ(cacheEntryCount(), 2);
    resetCacheStats();
    for (int block : {0, 1, 0, 2, 0}) at(block);
    EXPECT_EQ(cacheStats().hits, 2u);
    at(1);
    EXPECT_EQ(cacheStats().misses, 4u);
}

TEST(EgtbCache, NoCacheMeansNoInformation) {
    RegistryScope scope;
    TableDir dir;
    dir.write("kqk.nbw", Bytes(100, 1));
    static std::uint8_t memory[CACHE_ENTRY_BYTES];
    initEgtb(dir.path().c_str(), 0, true);
    EXPECT_EQ(cacheEntryCount(), 0);
    EXPECT_EQ(probeValue(KQK, 0, 5), VALUE_BROKEN);
    EXPECT_EQ(setCacheMemory(memory, 31), 0);
    EXPECT_EQ(probeValue(KQK, 0, 5), VALUE_BROKEN);
    EXPECT_EQ(setCacheMemory(memory, CACHE_ENTRY_BYTES - 1), 1);
    EXPECT_EQ(probeValue(KQK, 0, 5), VALUE_BROKEN);
    EXPECT_EQ(setCacheMemory(memory, CACHE_ENTRY_BYTES), 1);
    EXPECT_EQ(probeValue(KQK, 0, 5), 32641);
    // A file gone during play: it stays readable while it is open; once the
    // files are closed, what is cached still reads and the rest does not.
    dir.write("kbk.nbw", Bytes(3 * EMD_BLOCK_SIZE, 2));
    registerTables(dir.path().c_str());
    setCacheMemory(memory, CACHE_ENTRY_BYTES);
    EXPECT_EQ(probeValue(KBK, 0, 7), 32642);
    std::remove(dir.file("kbk.nbw").c_str());
    EXPECT_EQ(probeValue(KBK, 0, EMD_BLOCK_SIZE), 32642);
    EXPECT_EQ(probeValue(KBK, 0, 8), 32642);
    closeAllTableFiles();
    EXPECT_EQ(probeValue(KBK, 0, 8), 32642);
    EXPECT_EQ(probeValue(KBK, 0, 2 * EMD_BLOCK_SIZE), VALUE_BROKEN);
    EXPECT_EQ(probeValue(KQK, 0, 5), 32641);
}

// A plain 16-bit table whose registry range runs past its file: the entry
// that held a full block before must not serve its old bytes.
TEST(EgtbCache, AShortBlockNeverServesStaleBytes) {
    RegistryScope scope;
    TableDir dir;
    tableRegistry[KRNKNN].knownLength[0] = 4000;
    dir.write("kbk.nbw", Bytes(EMD_BLOCK_SIZE, 9));
    Bytes wide(2 * 1500, 0);
    wide[2 * 1499] = 0x34;
    wide[2 * 1499 + 1] = 0xFE;
    dir.write("krnknn.nbw", wide);
    initEgtb(dir.path().c_str(), 0, true);
    static std::uint8_t memory[CACHE_ENTRY_BYTES];
    setCacheMemory(memory, sizeof memory);
    EXPECT_EQ(probeValue(KBK, 0, 3100), 32649);
    EXPECT_EQ(probeValue(KRNKNN, 0, 1499), 0x34 - 512);
    EXPECT_EQ(probeValue(KRNKNN, 0, 1550), VALUE_BROKEN); // a hit
    EXPECT_EQ(probeValue(KBK, 0, 3100), 32649);
    EXPECT_EQ(probeValue(KRNKNN, 0, 1550), VALUE_BROKEN);
    EXPECT_EQ(probeValue(KRNKNN, 0, 4000), VALUE_BROKEN);
}

TEST(EgtbCache, FourThreadsShareATinyCache) {
    RegistryScope scope;
    TableDir dir;
    const Bytes plain = winBytes(50 * EMD_BLOCK_SIZE, 31);
    const Bytes packedData = winBytes(50 * EMD_BLOCK_SIZE, 32);
    dir.write("kqk.nbw", plain);
    dir.write("kqk.nbb.emd", compressTable(packedData.data(), packedData.size()));
    initEgtb(dir.path().c_str(), 0, true);
    static std::uint8_t memory[3 * CACHE_ENTRY_BYTES];
    setCacheMemory(memory, sizeof memory);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(100 + t);
            for (int i = 0; i < 600; ++i) {
                std::uint32_t a = rng() % plain.size(), b = rng() % packedData.size();
                wrong += probeValue(KQK, 0, a) != plain[a] + VALUE_WIN_BASE;
                wrong += probeValue(KQK, 1, b) != packedData[b] + VALUE_WIN_BASE;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
