// Reading stored values: the block cache that keeps decoded 8192-byte blocks
// of table files in the memory given at start-up, and the files behind it.
// Safe for several threads of one process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "egtb/spinlock.h"

inline constexpr int CACHE_BUCKETS = 32;            // per registered table side
inline constexpr int CACHE_ENTRY_BYTES = 8260;      // header and data area
inline constexpr std::int32_t VALUE_BROKEN = 32767; // nothing can be read
inline constexpr std::int32_t VALUE_WIN_BASE = 32640;

// kppkp with Black to move: indices whose value is fixed, whatever the file
// holds.
inline constexpr std::uint32_t KPPKP_FIXED[7] = {0x0362BC7C, 0x0362DE44, 0x03637648, 0x03639810,
                                                 0x038D4F29, 0x040A2CAB, 0x043C778C};
inline constexpr std::int32_t KPPKP_FIXED_VALUE = -32639; // mated in 127 moves

// True for a kppkp Black-to-move index the prober answers itself.
inline constexpr bool isKppkpFixedIndex(std::uint64_t index) {
    for (std::uint32_t fixed : KPPKP_FIXED)
        if (index == fixed) return true;
    return false;
}

struct CacheBucket {
    SpinLock lock;
    std::int32_t head; // first entry of the chain, -1 for none
};

// Value at index i of table t for side to move s (0 White, 1 Black), or
// VALUE_BROKEN when it cannot be read.
std::int32_t probeValue(int table, int side, std::uint32_t index);

// Hands the cache its memory. 0 when size is below 32 bytes (no cache),
// 1 otherwise (with room for no entry the cache stays off too).
int setCacheMemory(void* memory, std::size_t size);
// Number of cache entries, 0 when there is no cache.
std::int32_t cacheEntryCount();

// Closes every open table file, each under its side's lock.
void closeAllTableFiles();

// Creates the decode block that compressed reads share; false without memory.
bool createDecodeBlock();
void freeDecodeBlock();

// Reads block k of (t, s) straight from its file into out (EMD_DATA_AREA
// bytes), bypassing the cache; the number of valid bytes, or -1. For tests
// and benchmarks that compare with cached reads.
int readBlockDirect(int table, int side, std::uint32_t block, std::uint8_t* out);

// Counters since the last registration, for the benchmark.
struct CacheStats {
    std::uint64_t hits, misses, blocksDecoded;
};
CacheStats cacheStats();
void resetCacheStats();

// Opens a table file for reading: regular files only (a directory or FIFO
// named like a table counts as missing). The descriptor, or -1.
int openTableFile(const char* path);

// Lays the cache out over its memory again with every entry free, as after
// setCacheMemory; registration calls it since it forgets the old sides.
void emptyCache();
