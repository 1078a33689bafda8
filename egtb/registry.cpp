#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>
#include <utility>

#include <sys/stat.h>

#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb/emd.h"
#include "egtb/index.h"
#include "egtb/tables.h"

std::int32_t egtbMaxPieces = 0;

namespace {

constexpr int NO_EP_SQUARE = 127;
constexpr int LIST_SIZE = 3;

void* cacheMemory = nullptr;

// Prints a "***" line and ends the process with status 1.
// Every format names a %s, and a %d only where a number is passed.
[[noreturn]] void fatal(const char* format, const char* name, int number = 0) {
    std::printf(format, name, number);
    std::fflush(stdout);
    std::_Exit(1);
}
[[noreturn]] void fatalNumber(const char* format, int number) {
    std::printf(format, number);
    std::fflush(stdout);
    std::_Exit(1);
}

void forgetRegistration() {
    closeAllTableFiles();
    for (TableDesc& t : tableRegistry) {
        for (int s = 0; s < 2; ++s) {
            t.fileName[s].clear();
            t.length[s] = 0;
            freeEmdInfo(t.compressedInfo[s]);
            t.compressedInfo[s] = nullptr;
            delete[] t.blockIndex[s];
            t.blockIndex[s] = nullptr;
        }
    }
    clearMaterialMap();
    emptyCache();
    freeDecodeBlock();
    resetCacheStats();
}

// The message after "*** Unable to read %s - " for a header error code.
void headerFailure(const std::string& path, EmdError code) {
    std::printf("*** Unable to read %s - ", path.c_str());
    switch (code & 255) {
    case 2:
        std::printf("read error\n");
        break;
    case 5:
        std::printf("out of memory\n");
        break;
    case 6:
        std::printf("file broken\n");
        break;
    default:
        std::printf("error %d\n", static_cast<int>(code));
        break;
    }
    std::fflush(stdout);
    std::_Exit(1);
}

// Looks for one side's file in dir under its four names and registers it.
// True when a compressed file was registered.
bool registerSide(TableDesc& t, int side, const std::string& dir, bool& compressed) {
    std::string base = dir.empty() ? std::string() : dir + "/";
    base += t.name;
    const char* ending = side == 0 ? "nbw" : "nbb";
    const std::string names[4] = {base + "." + ending, base + "." + ending + ".emd",
                                  base + "_" + ending + ".emd", base + ending + ".emd"};
    int fd = -1, form = 0;
    for (; form < 4 && fd < 0; ++form) fd = openTableFile(names[form].c_str());
    if (fd < 0) return false;
    const std::string& path = names[form - 1];
    const bool wide = (t.flags & TABLE_16BIT) != 0;
    std::uint64_t length;
    EmdInfo* info = nullptr;
    if (form == 1) {
        if (wide) {
            struct stat st;
            // Until every table's range is known, a plain file gives its own.
            length = t.knownLength[side] != 0 || fstat(fd, &st) != 0
                         ? t.knownLength[side]
                         : std::uint64_t(st.st_size) / 2;
        } else {
            off_t end = lseek(fd, 0, SEEK_END);
            if (end < 0) fatal("*** Seek in %s failed\n", path.c_str());
            length = static_cast<std::uint64_t>(end);
        }
    } else {
        EmdError code = readCompressedHeader(fd, &info);
        if (code != EMD_OK) headerFailure(path, code);
        if (info->blockSize != EMD_BLOCK_SIZE)
            fatal("*** %s: Unsupported block size %d\n", path.c_str(),
                  static_cast<int>(info->blockSize));
        std::uint64_t full = std::uint64_t{info->blockCount - 1};
        length = wide ? full * (EMD_BLOCK_SIZE / 2) + info->lastBlockSize / 2
                      : full * EMD_BLOCK_SIZE + info->lastBlockSize;
        compressed = true;
    }
    if (t.knownLength[side] != 0 && length != t.knownLength[side])
        fatal("*** %s corrupted\n", path.c_str());
    close(fd);
    t.length[side] = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, 0xFFFFFFFFu));
    if (!enterMaterialMap(t)) fatal("*** Unable to register %s\n", path.c_str());
    t.fileName[side] = path;
    t.blockIndex[side] = new (std::nothrow) CacheBucket[CACHE_BUCKETS];
    if (!t.blockIndex[side])
        fatalNumber("*** Cannot allocate %d bytes of memory\n",
                    static_cast<int>(sizeof(CacheBucket) * CACHE_BUCKETS));
    for (int k = 0; k < CACHE_BUCKETS; ++k) t.blockIndex[side][k].head = -1;
    t.compressedInfo[side] = info;
    return true;
}

int piecesOfTable(int id) {
    if (id > 145) return 6;
    if (id > 35) return 5;
    if (id > 5) return 4;
    if (id >= 1) return 3;
    return 0;
}

} // namespace

int registerTables(const char* directories) {
    initIndexFunctions();
    forgetRegistration();
    bool compressed = false;
    int highest = 0;
    const char* p = directories ? directories : "";
    for (;;) {
        std::size_t n = std::strcspn(p, ",;");
        std::string dir(p, n);
        for (int id = 1; id <= LAST_TABLE_ID; ++id) {
            TableDesc& t = tableRegistry[id];
            int sides = (t.flags & TABLE_SYMMETRIC) ? 1 : 2;
            for (int s = 0; s < sides; ++s) {
                if (!t.fileName[s].empty()) continue;
                if (registerSide(t, s, dir, compressed) && id > highest) highest = id;
            }
        }
        if (p[n] == 0) break;
        p += n + 1;
    }
    if (compressed && !createDecodeBlock())
        fatalNumber("*** Cannot allocate decode block: error code %d\n", 226309);
    egtbMaxPieces = piecesOfTable(highest);
    return egtbMaxPieces;
}

void initEgtb(const char* directories, std::int64_t cacheMb, bool quiet, const EgtbLocks* locks) {
    std::free(cacheMemory);
    cacheMemory = nullptr;
    setCacheMemory(nullptr, 0);
    egtbMaxPieces = 0;
    std::size_t bytes = 0;
    bool ok = cacheMb >= 0 && cacheMb <= (std::int64_t{1} << 43);
    if (ok) {
        bytes = static_cast<std::size_t>(cacheMb) << 20;
        if (bytes > 0) {
            cacheMemory = std::malloc(bytes);
            ok = cacheMemory != nullptr;
        }
    }
    if (!ok) {
        std::printf("Out of memory error: %s\n", std::strerror(ENOMEM));
        std::fflush(stdout);
        return;
    }
    if (locks && locks->lockRegistration) locks->lockRegistration();
    int pieces = registerTables(directories);
    if (locks && locks->unlockRegistration) locks->unlockRegistration();
    setCacheMemory(cacheMemory, bytes);
    if (pieces == 0 || quiet) return;
    if (locks && locks->lockOutput) locks->lockOutput();
    std::printf("Egtbs initializated(%d)\n", pieces);
    std::printf("Egtb cache size %luM\n", static_cast<unsigned long>(cacheMb));
    std::fflush(stdout);
    if (locks && locks->unlockOutput) locks->unlockOutput();
}

bool collectPieceSets(const Board& board, PieceSet sets[2], int counts[MATERIAL_KINDS]) {
    for (int c = 0; c < 2; ++c) sets[c] = PieceSet{};
    for (int k = 0; k < MATERIAL_KINDS; ++k) counts[k] = 0;
    for (int c = 0; c < 2; ++c) {
        sets[c].king = board.kingSq[c];
        for (int kind = PAWN; kind <= QUEEN; ++kind) {
            int& n = counts[c * 5 + kind];
            for (U64 rest = board.pieceBB[kind][c]; rest;) { // highest square first
                const int sq = 63 - std::countl_zero(rest);
                rest ^= U64{1} << sq;
                if (n == LIST_SIZE) return false; // four of a kind: no table
                sets[c].squares[kind][n++] = sq;
            }
        }
    }
    return true;
}

int probeEgtb(const Board& board, int& score) {
    if (std::popcount(board.occupied) > egtbMaxPieces) return 0;
    // Piece lists per colour (0 White, 1 Black), squares from the highest down.
    PieceSet sets[2];
    int counts[MATERIAL_KINDS];
    if (!collectPieceSets(board, sets, counts)) return 0;
    int id = lookupMaterial(counts);
    if (id == 0) return 0;
    int side = board.toMove == 1 ? 0 : 1;
    const PieceSet* first = &sets[0];
    const PieceSet* second = &sets[1];
    int invert = 0;
    if (id < 0) {
        id = -id;
        side ^= 1;
        std::swap(first, second);
        invert = 1;
    }
    const TableDesc& t = tableRegistry[id];
    int slot = sideSlot(t, side);
    if (t.fileName[slot].empty() || !t.indexFn[side]) return 0;
    int ep = board.enpassant != 0 ? board.enpassant : NO_EP_SQUARE;
    std::uint32_t index = t.indexFn[side](*first, *second, ep, invert);
    std::int32_t v = probeValue(id, side, index);
    if (v == VALUE_BROKEN) return 0;
    if (v > 0)
        score = 2 * v - 49534;
    else if (v < 0)
        score = 2 * v + 49532;
    else
        score = -board.toMove;
    return 1;
}
