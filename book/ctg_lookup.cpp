#include "book/ctg_lookup.h"

#include <cstdio>
#include <cstring>

namespace {

long long filesOpened = 0;

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}
int be24(const std::uint8_t* p) {
    return (p[0] << 16) | (p[1] << 8) | p[2];
}

// A file opened for reading that closes itself.
struct ReadFile {
    std::FILE* f = nullptr;
    explicit ReadFile(const char* name) {
        f = std::fopen(name, "rb");
        if (f) ++filesOpened;
    }
    ~ReadFile() {
        if (f) std::fclose(f);
    }
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;
    // Bytes read at the offset (64 bits: slots and pages may lie past 4 GB).
    int readAt(std::uint64_t offset, std::uint8_t* buf, int size) {
        if (!f || offset > static_cast<std::uint64_t>(0x7FFFFFFFFFFFFFFFLL)) return 0;
        if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
        return static_cast<int>(std::fread(buf, 1, static_cast<std::size_t>(size), f));
    }
};

int readPage(ReadFile& ctg, std::uint64_t page, std::uint8_t* buf) {
    return ctg.readAt((page + 1) * BOOK_PAGE_SIZE, buf, BOOK_PAGE_SIZE);
}

} // namespace

long long bookFilesOpened() {
    return filesOpened;
}

BookFileNames bookFileNames(const char* bookName) {
    BookFileNames n;
    std::snprintf(n.ctg, sizeof n.ctg, "%s", bookName);
    std::memcpy(n.cto, n.ctg, sizeof n.ctg);
    std::memcpy(n.ctb, n.ctg, sizeof n.ctg);
    const std::size_t len = std::strlen(n.ctg);
    if (len > 0) {
        n.cto[len - 1] = 'o';
        n.ctb[len - 1] = 'b';
    }
    return n;
}

int searchPage(const std::uint8_t* page, int size, const BookBoard& b, BookEntry& entry) {
    if (size < 4) return 0;
    const int count = (page[0] << 8) | page[1];
    int e = 4;
    for (int k = 0; k < count; ++k) {
        if (e >= size) return 0;
        const int keyLength = page[e] & 0x1F;
        const int movePos = e + keyLength;
        if (movePos >= size) return 0;
        const int blockSize = page[movePos];
        const int statsPos = movePos + blockSize;
        if (statsPos + BOOK_STATS_SIZE > size) return 0; // runs past the page
        if (keyLength == b.keyLength && page[e] == b.huffmanKey[0] &&
            std::memcmp(page + e + 1, b.huffmanKey + 1, keyLength - 1) == 0) {
            int moves = blockSize > 0 ? (blockSize - 1) / 2 : 0;
            if (moves > BOOK_MAX_MOVES) moves = BOOK_MAX_MOVES; // keep the first 50
            entry.moveCount = moves;
            std::memcpy(entry.moves, page + movePos + 1, 2 * moves);
            const std::uint8_t* s = page + statsPos;
            entry.totalGames = be24(s);
            entry.lostGames = be24(s + 3);
            entry.wonGames = be24(s + 6);
            entry.drawnGames = be24(s + 9);
            entry.flagByte = s[30];
            return 1;
        }
        e = statsPos + BOOK_STATS_SIZE;
    }
    return 0;
}

int findEntry(const char* bookName, const BookBoard& b, BookEntry& entry) {
    if (b.keyLength < 1 || b.keyLength > BOOK_MAX_KEY_LENGTH) return 0;
    const BookFileNames names = bookFileNames(bookName);
    std::uint8_t bounds[12];
    std::uint64_t lower, upper;
    {
        ReadFile ctb(names.ctb);
        if (ctb.readAt(0, bounds, 12) < 12) return 0;
        lower = be32(bounds + 4);
        upper = be32(bounds + 8);
    }
    ReadFile cto(names.cto);
    if (!cto.f) return 0;
    ReadFile ctg(names.ctg);
    if (!ctg.f) return 0;
    const std::uint32_t h = bookHash(b.huffmanKey, b.keyLength);
    std::uint8_t page[BOOK_PAGE_SIZE];
    for (int n = 0; n <= 30; ++n) {
        const std::uint64_t mask = (std::uint64_t{1} << n) - 1;
        const std::uint64_t slot = (h & mask) + mask;
        if (slot < lower) continue;
        std::uint8_t v[4];
        if (cto.readAt(16 + 4 * slot, v, 4) == 4 && be32(v) != 0xFFFFFFFFu) {
            const int size = readPage(ctg, be32(v), page);
            if (searchPage(page, size, b, entry)) return 1;
        }
        if (slot >= upper) return 0;
    }
    return 0;
}

long long scanAllPages(const char* bookName, const BookBoard& b, BookEntry& entry) {
    if (b.keyLength < 1 || b.keyLength > BOOK_MAX_KEY_LENGTH) return -1;
    ReadFile ctg(bookFileNames(bookName).ctg);
    std::uint8_t page[BOOK_PAGE_SIZE];
    for (std::uint64_t p = 0;; ++p) {
        const int size = readPage(ctg, p, page);
        if (size <= 0) return -1;
        if (searchPage(page, size, b, entry)) return static_cast<long long>(p);
    }
}
