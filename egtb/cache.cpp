#include "egtb/cache.h"

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <sys/stat.h>

#include "egtb/emd.h"
#include "egtb/tables.h"

namespace {

// Header of a cache entry; its data area lies after all headers.
struct CacheEntry {
    std::int16_t table;
    std::int8_t side;
    std::uint8_t unused;
    std::uint32_t block;
    std::int32_t prev, next;             // recency list, or next on the free list
    std::int32_t bucketNext, bucketPrev; // chain of its bucket
    std::int32_t valid;                  // bytes of the block that hold data
    std::int32_t spare;
};
static_assert(sizeof(CacheEntry) + EMD_DATA_AREA == CACHE_ENTRY_BYTES);

struct DecodeBlock {
    std::uint8_t state[64];
    std::uint8_t buffer[EMD_BLOCK_SIZE];
};

struct Cache {
    std::uint8_t* memory = nullptr;
    std::size_t size = 0;
    CacheEntry* entries = nullptr;
    std::uint8_t* data = nullptr;
    std::int32_t count = 0;
    std::int32_t freeHead = -1;
    std::int32_t head = -1, tail = -1; // recency list, most recent first
    SpinLock listLock;                 // recency list and free list
    DecodeBlock* decode = nullptr;
    SpinLock decodeLock;
    std::atomic<std::uint64_t> hits{0}, misses{0}, decoded{0};
};
Cache cache;

std::uint8_t* entryData(std::int32_t e) {
    return cache.data + static_cast<std::size_t>(e) * EMD_DATA_AREA;
}

// Recency list operations; the caller holds listLock.
void unlinkRecent(std::int32_t e) {
    CacheEntry& x = cache.entries[e];
    if (x.prev >= 0)
        cache.entries[x.prev].next = x.next;
    else
        cache.head = x.next;
    if (x.next >= 0)
        cache.entries[x.next].prev = x.prev;
    else
        cache.tail = x.prev;
}
void pushRecent(std::int32_t e) {
    CacheEntry& x = cache.entries[e];
    x.prev = -1;
    x.next = cache.head;
    if (cache.head >= 0)
        cache.entries[cache.head].prev = e;
    else
        cache.tail = e;
    cache.head = e;
}

// Bucket chain operations; the caller holds the bucket's lock.
void unlinkChain(CacheBucket& b, std::int32_t e) {
    CacheEntry& x = cache.entries[e];
    if (x.bucketPrev >= 0)
        cache.entries[x.bucketPrev].bucketNext = x.bucketNext;
    else
        b.head = x.bucketNext;
    if (x.bucketNext >= 0) cache.entries[x.bucketNext].bucketPrev = x.bucketPrev;
}
void pushChain(CacheBucket& b, std::int32_t e) {
    CacheEntry& x = cache.entries[e];
    x.bucketPrev = -1;
    x.bucketNext = b.head;
    if (b.head >= 0) cache.entries[b.head].bucketPrev = e;
    b.head = e;
}

CacheBucket& bucketOf(int table, int side, std::uint32_t block) {
    return tableRegistry[table].blockIndex[side][block % CACHE_BUCKETS];
}

// A free entry, or the least recently used one taken out of its bucket and
// the recency list. The victim's bucket is locked before the list, and the
// tail is tested again once both are held.
std::int32_t takeEntry() {
    for (;;) {
        cache.listLock.lock();
        if (cache.freeHead >= 0) {
            std::int32_t e = cache.freeHead;
            cache.freeHead = cache.entries[e].next;
            cache.listLock.unlock();
            return e;
        }
        std::int32_t e = cache.tail;
        if (e < 0) { // every entry is being filled by another thread
            cache.listLock.unlock();
            sched_yield();
            continue;
        }
        CacheEntry seen = cache.entries[e];
        cache.listLock.unlock();
        CacheBucket& b = bucketOf(seen.table, seen.side, seen.block);
        b.lock.lock();
        cache.listLock.lock();
        const CacheEntry& now = cache.entries[e];
        if (cache.tail == e && now.table == seen.table && now.side == seen.side &&
            now.block == seen.block) {
            unlinkRecent(e);
            unlinkChain(b, e);
            cache.listLock.unlock();
            b.lock.unlock();
            return e;
        }
        cache.listLock.unlock();
        b.lock.unlock();
    }
}

void releaseEntry(std::int32_t e) {
    cache.listLock.lock();
    cache.entries[e].next = cache.freeHead;
    cache.freeHead = e;
    cache.listLock.unlock();
}

// Reads up to size bytes at offset, stopping at the end of the file. The
// count, or -1 on an error.
long readUpTo(int fd, std::uint8_t* out, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t r = pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (r < 0) return -1;
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<long>(done);
}

// Block k of a compressed side, decoded into out; its size or -1.
long readCompressedBlock(const EmdInfo& info, int fd, std::uint32_t k, std::uint8_t* out) {
    if (k >= info.blockCount) return -1;
    std::uint32_t size = k + 1 == info.blockCount ? info.lastBlockSize : info.blockSize;
    std::uint64_t stored64 = info.blockOffsets[k + 1] - info.blockOffsets[k];
    if (stored64 > EMD_BLOCK_SIZE || size > EMD_BLOCK_SIZE) return -1;
    std::uint32_t stored = static_cast<std::uint32_t>(stored64);
    cache.decodeLock.lock();
    long result = -1;
    if (cache.decode && readUpTo(fd, cache.decode->buffer, stored, info.blockOffsets[k]) ==
                            static_cast<long>(stored)) {
        if (stored == size) {
            std::memcpy(out, cache.decode->buffer, size);
            result = size;
        } else if (decodeBlock(info, cache.decode->buffer, stored, out, size)) {
            result = size;
            cache.decoded.fetch_add(1, std::memory_order_relaxed);
        }
    }
    cache.decodeLock.unlock();
    return result;
}

// Fills out with block k of (t, s) from its file, opening it on first use; the
// number of valid bytes or -1.
long fillBlock(int table, int side, std::uint32_t k, std::uint8_t* out) {
    TableDesc& t = tableRegistry[table];
    if (t.fileName[side].empty()) return -1;
    t.fileLock[side].lock();
    if (t.openFile[side] < 0) {
        t.openFile[side] = openTableFile(t.fileName[side].c_str());
        if (t.openFile[side] < 0) {
            // Perhaps too many files are open: close them all and try once more.
            t.fileLock[side].unlock();
            closeAllTableFiles();
            t.fileLock[side].lock();
            if (t.openFile[side] < 0) t.openFile[side] = openTableFile(t.fileName[side].c_str());
            if (t.openFile[side] < 0) {
                t.fileLock[side].unlock();
                return -1;
            }
        }
    }
    long n;
    if (t.compressedInfo[side])
        n = readCompressedBlock(*t.compressedInfo[side], t.openFile[side], k, out);
    else
        n = readUpTo(t.openFile[side], out, EMD_BLOCK_SIZE, std::uint64_t{k} * EMD_BLOCK_SIZE);
    t.fileLock[side].unlock();
    return n;
}

// The signed byte at offset o of block k of (t, s), through the cache.
bool readCachedByte(int table, int side, std::uint32_t k, std::uint32_t o, std::int8_t& out) {
    CacheBucket& b = bucketOf(table, side, k);
    b.lock.lock();
    for (std::int32_t e = b.head; e >= 0; e = cache.entries[e].bucketNext) {
        CacheEntry& x = cache.entries[e];
        if (x.block != k || x.table != table || x.side != side) continue;
        cache.listLock.lock();
        unlinkRecent(e);
        pushRecent(e);
        cache.listLock.unlock();
        unlinkChain(b, e);
        pushChain(b, e);
        bool ok = o < static_cast<std::uint32_t>(x.valid);
        if (ok) out = static_cast<std::int8_t>(entryData(e)[o]);
        b.lock.unlock();
        cache.hits.fetch_add(1, std::memory_order_relaxed);
        return ok;
    }
    b.lock.unlock();
    cache.misses.fetch_add(1, std::memory_order_relaxed);

    std::int32_t e = takeEntry();
    CacheEntry& x = cache.entries[e];
    x.table = static_cast<std::int16_t>(table);
    x.side = static_cast<std::int8_t>(side);
    x.block = k;
    long valid = fillBlock(table, side, k, entryData(e));
    if (valid < 0) {
        releaseEntry(e);
        return false;
    }
    x.valid = static_cast<std::int32_t>(valid);
    b.lock.lock();
    pushChain(b, e);
    cache.listLock.lock();
    pushRecent(e);
    cache.listLock.unlock();
    bool ok = o < static_cast<std::uint32_t>(valid);
    if (ok) out = static_cast<std::int8_t>(entryData(e)[o]);
    b.lock.unlock();
    return ok;
}

// A one-byte table's byte as a value.
std::int32_t byteValue(std::int8_t b) {
    if (b == 0) return 0;
    if (b == 127) return VALUE_BROKEN;
    if (b == -128) return VALUE_WIN_BASE;
    if (b == -127) return -VALUE_WIN_BASE;
    return b > 0 ? b + VALUE_WIN_BASE : b - VALUE_WIN_BASE;
}

} // namespace

int openTableFile(const char* path) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

std::int32_t probeValue(int table, int side, std::uint32_t index) {
    if (table < 1 || table > LAST_TABLE_ID || side < 0 || side > 1) return VALUE_BROKEN;
    const TableDesc& t = tableRegistry[table];
    side = sideSlot(t, side);
    if (cache.count == 0 || !t.blockIndex[side]) return VALUE_BROKEN;
    if (index >= t.length[side]) return VALUE_BROKEN;
    if (table == KPPKP_ID && side == 1 && isKppkpFixedIndex(index)) return KPPKP_FIXED_VALUE;
    if (t.flags & TABLE_16BIT) {
        constexpr std::uint32_t PER_BLOCK = EMD_BLOCK_SIZE / 2;
        std::uint32_t k = index / PER_BLOCK, o = 2 * (index % PER_BLOCK);
        std::int8_t lo, hi;
        if (!readCachedByte(table, side, k, o, lo) || !readCachedByte(table, side, k, o + 1, hi))
            return VALUE_BROKEN;
        return static_cast<std::uint8_t>(lo) + 256 * hi;
    }
    std::int8_t b;
    if (!readCachedByte(table, side, index / EMD_BLOCK_SIZE, index % EMD_BLOCK_SIZE, b))
        return VALUE_BROKEN;
    return byteValue(b);
}

void emptyCache() {
    cache.freeHead = cache.count > 0 ? 0 : -1;
    for (std::int32_t e = 0; e < cache.count; ++e) {
        cache.entries[e] = CacheEntry{};
        cache.entries[e].next = e + 1 < cache.count ? e + 1 : -1;
        cache.entries[e].block = ~0u;
    }
    cache.head = cache.tail = -1;
    for (TableDesc& t : tableRegistry)
        for (CacheBucket* buckets : t.blockIndex)
            if (buckets)
                for (int k = 0; k < CACHE_BUCKETS; ++k) buckets[k].head = -1;
}

int setCacheMemory(void* memory, std::size_t size) {
    if (cache.count > 0) closeAllTableFiles();
    cache.count = 0;
    cache.entries = nullptr;
    cache.data = nullptr;
    cache.memory = static_cast<std::uint8_t*>(memory);
    cache.size = size;
    if (size < 32 || !memory) return size < 32 ? 0 : 1;
    std::size_t entries = size / CACHE_ENTRY_BYTES;
    if (entries > 0x7FFFFFFF) entries = 0x7FFFFFFF;
    cache.count = static_cast<std::int32_t>(entries);
    cache.entries = reinterpret_cast<CacheEntry*>(cache.memory);
    cache.data = cache.memory + entries * sizeof(CacheEntry);
    emptyCache();
    return 1;
}

std::int32_t cacheEntryCount() {
    return cache.count;
}

void closeAllTableFiles() {
    for (TableDesc& t : tableRegistry) {
        for (int s = 0; s < 2; ++s) {
            t.fileLock[s].lock();
            if (t.openFile[s] >= 0) close(t.openFile[s]);
            t.openFile[s] = -1;
            t.fileLock[s].unlock();
        }
    }
}

bool createDecodeBlock() {
    if (cache.decode) return true;
    cache.decode = new (std::nothrow) DecodeBlock;
    return cache.decode != nullptr;
}

void freeDecodeBlock() {
    delete cache.decode;
    cache.decode = nullptr;
}

int readBlockDirect(int table, int side, std::uint32_t block, std::uint8_t* out) {
    if (table < 1 || table > LAST_TABLE_ID || side < 0 || side > 1) return -1;
    side = sideSlot(tableRegistry[table], side);
    return static_cast<int>(fillBlock(table, side, block, out));
}

CacheStats cacheStats() {
    return {cache.hits.load(), cache.misses.load(), cache.decoded.load()};
}

void resetCacheStats() {
    cache.hits = 0;
    cache.misses = 0;
    cache.decoded = 0;
}
