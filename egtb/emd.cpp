#include "egtb/emd.h"

#include <cstring>
#include <new>
#include <unistd.h>

#include <sys/stat.h>

const char EMD_BANNER[64] = "Tarvok compressed tablebase, blocks of 8192 bytes, 24 distances";

namespace {

std::uint32_t crcTable[256];
const bool crcTableBuilt = [] {
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        crcTable[i] = c;
    }
    return true;
}();

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Reads exactly size bytes at offset; false on an error or a short read.
bool readAt(int fd, std::uint8_t* buf, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t r = pread(fd, buf + done, size - done, static_cast<off_t>(offset + done));
        if (r <= 0) return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

// The 128 lengths of the two auxiliary codes: one bit (1: all zero), else a
// 5-bit width W, then W-bit lengths, each zero followed by 4 bits of further
// zeros.
bool readAuxLengths(BitReader& in, std::uint8_t lengths[2 * EMD_AUX_SYMBOLS]) {
    std::memset(lengths, 0, 2 * EMD_AUX_SYMBOLS);
    if (in.read(1) == 1) return !in.failed;
    int width = static_cast<int>(in.read(5));
    int filled = 0;
    while (filled < 2 * EMD_AUX_SYMBOLS) {
        std::uint32_t len = in.read(width);
        if (in.failed || len > EMD_MAX_CODE_LENGTH) return false;
        lengths[filled++] = static_cast<std::uint8_t>(len);
        if (len == 0) {
            std::uint32_t zeros = in.read(4);
            if (in.failed || filled + zeros > 2 * EMD_AUX_SYMBOLS) return false;
            filled += static_cast<int>(zeros); // already zero
        }
    }
    return true;
}

// The 1024 code lengths of the main code.
bool readMainLengths(BitReader& in, std::uint8_t lengths[EMD_SYMBOLS]) {
    std::memset(lengths, 0, EMD_SYMBOLS);
    if (in.read(1) == 1) return !in.failed;
    std::uint8_t aux[2 * EMD_AUX_SYMBOLS];
    if (!readAuxLengths(in, aux)) return false;
    CanonicalCode a, b;
    if (!buildCanonicalCode(a, aux, EMD_AUX_SYMBOLS) ||
        !buildCanonicalCode(b, aux + EMD_AUX_SYMBOLS, EMD_AUX_SYMBOLS))
        return false;
    int filled = 0;
    while (filled < EMD_SYMBOLS) {
        int s = decodeSymbol(a, in);
        if (s < 0) return false;
        if (s < 32) {
            lengths[filled++] = static_cast<std::uint8_t>(s);
            continue;
        }
        int r = decodeSymbol(b, in);
        if (r < 0) return false;
        std::uint64_t repeat;
        if (r <= 31) {
            repeat = static_cast<std::uint64_t>(r) + 2;
        } else {
            int k = r - 32;
            repeat = (std::uint64_t{1} << k) + in.read(k) + 33;
        }
        if (in.failed || filled + repeat > EMD_SYMBOLS) return false;
        std::memset(lengths + filled, s % 32, repeat);
        filled += static_cast<int>(repeat);
    }
    return true;
}

} // namespace

std::uint32_t emdCrc(const std::uint8_t* data, std::size_t size) {
    std::uint32_t c = 0;
    for (std::size_t i = 0; i < size; ++i) c = crcTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c;
}

bool buildCanonicalCode(CanonicalCode& code, const std::uint8_t* lengths, int symbols) {
    std::memset(code.count, 0, sizeof code.count);
    std::memset(code.primary, 0, sizeof code.primary);
    code.single = -1;
    code.maxLength = 0;
    int used = 0, last = 0;
    for (int s = 0; s < symbols; ++s) {
        if (lengths[s] > EMD_MAX_CODE_LENGTH) return false;
        if (lengths[s] == 0) continue;
        ++code.count[lengths[s]];
        ++used;
        last = s;
        if (lengths[s] > code.maxLength) code.maxLength = lengths[s];
    }
    if (used == 0) {
        code.single = 0;
        return true;
    }
    if (used == 1) {
        code.single = last;
        return lengths[last] == 1;
    }
    // Complete: from the longest length up, pairs of codes must join evenly
    // into one root.
    std::uint64_t carry = 0;
    for (int len = EMD_MAX_CODE_LENGTH; len >= 1; --len) {
        carry += code.count[len];
        if (carry & 1) return false;
        carry /= 2;
    }
    if (carry != 1) return false;
    // Symbols sorted by (length, value), and the first code of each length.
    int offset[EMD_MAX_CODE_LENGTH + 2] = {};
    for (int len = 1; len <= EMD_MAX_CODE_LENGTH; ++len)
        offset[len + 1] = offset[len] + code.count[len];
    for (int s = 0; s < symbols; ++s)
        if (lengths[s] != 0) code.sorted[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
    // Primary table for the short codes.
    std::uint32_t first = 0;
    int index = 0;
    for (int len = 1; len <= EMD_PRIMARY_BITS; ++len) {
        for (int i = 0; i < code.count[len]; ++i) {
            std::uint32_t c = first + static_cast<std::uint32_t>(i);
            int shift = EMD_PRIMARY_BITS - len;
            std::uint16_t entry = static_cast<std::uint16_t>(code.sorted[index + i] * 32 + len);
            for (std::uint32_t j = 0; j < (1u << shift); ++j)
                code.primary[(c << shift) | j] = entry;
        }
        index += code.count[len];
        first = (first + code.count[len]) << 1;
    }
    return true;
}

BitReader makeBitReader(const std::uint8_t* data, std::uint64_t size, std::uint64_t bytePos) {
    return BitReader{data, size, bytePos * 8, bytePos > size};
}

std::uint64_t BitReader::peek() const {
    std::uint64_t byte = pos >> 3;
    int skip = static_cast<int>(pos & 7);
    std::uint64_t v = 0;
    if (byte + 9 <= size) {
        std::memcpy(&v, data + byte, 8);
        v = __builtin_bswap64(v);
        if (skip) v = v << skip | data[byte + 8] >> (8 - skip);
        return v;
    }
    // Near the end: zeros past the last byte.
    for (int i = 0; i < 8; ++i) {
        v <<= 8;
        if (byte + i < size) v |= data[byte + i];
    }
    if (skip) {
        v <<= skip;
        if (byte + 8 < size) v |= data[byte + 8] >> (8 - skip);
    }
    return v;
}

std::uint32_t BitReader::read(int bits) {
    if (bits == 0) return 0;
    if (pos + static_cast<std::uint64_t>(bits) > size * 8) {
        failed = true;
        pos = size * 8;
        return 0;
    }
    std::uint32_t v = static_cast<std::uint32_t>(peek() >> (64 - bits));
    pos += static_cast<std::uint64_t>(bits);
    return v;
}

int decodeSymbol(const CanonicalCode& code, BitReader& in) {
    if (code.single >= 0) return code.single;
    std::uint64_t bits = in.peek();
    std::uint16_t entry = code.primary[bits >> (64 - EMD_PRIMARY_BITS)];
    int len;
    int symbol;
    if (entry != 0) {
        len = entry & 31;
        symbol = entry >> 5;
    } else {
        // Longer codes: walk the lengths one bit at a time.
        std::uint64_t c = 0, first = 0;
        int index = 0;
        symbol = -1;
        for (len = 1; len <= code.maxLength; ++len) {
            c = c << 1 | ((bits >> (64 - len)) & 1);
            if (c - first < code.count[len]) {
                symbol = code.sorted[index + (c - first)];
                break;
            }
            index += code.count[len];
            first = (first + code.count[len]) << 1;
        }
        if (symbol < 0) {
            in.failed = true;
            return -1;
        }
    }
    if (in.pos + static_cast<std::uint64_t>(len) > in.size * 8) {
        in.failed = true;
        return -1;
    }
    in.pos += static_cast<std::uint64_t>(len);
    return symbol;
}

EmdError readCompressedHeader(int fd, EmdInfo** out) {
    if (!out) return EMD_NO_DESCRIPTOR_PLACE;
    std::uint8_t head[EMD_HEADER_FIXED];
    if (!readAt(fd, head, sizeof head, 0)) return EMD_SHORT_HEADER;
    // The banner differs between writers of the format; it is not compared.
    std::uint32_t infoSize = bigEndian32(head + 64);
    int n = head[70];
    if (infoSize < EMD_MIN_INFO_SIZE || n >= 17) return EMD_BAD_SIZES;
    if (head[71] != EMD_DISTANCES) return EMD_BAD_DISTANCE_COUNT;
    if (bigEndian32(head + 76) != EMD_MAGIC) return EMD_BAD_MAGIC;
    std::uint32_t blocks = bigEndian32(head + 72);

    // An information block longer than the file cannot be read; this test
    // also keeps a random size from asking for gigabytes.
    struct stat st;
    if (fstat(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_size) < infoSize)
        return EMD_INFO_UNREADABLE;
    std::uint8_t* info = new (std::nothrow) std::uint8_t[infoSize];
    if (!info) return EMD_INFO_NO_MEMORY;
    struct InfoGuard {
        std::uint8_t* p;
        ~InfoGuard() { delete[] p; }
    } infoGuard{info};
    if (!readAt(fd, info, infoSize, 0)) return EMD_INFO_UNREADABLE;
    if (emdCrc(info, infoSize - 4) != bigEndian32(info + infoSize - 4)) return EMD_BAD_CRC;

    // The sizes and distances: B + 25 numbers of n bits after 8 bytes per block.
    std::uint64_t fieldStart = EMD_HEADER_FIXED + 8 * std::uint64_t{blocks};
    std::uint64_t fieldBits = (std::uint64_t{blocks} + 25) * static_cast<std::uint64_t>(n);
    std::uint64_t lengthsStart = fieldStart + (fieldBits + 7) / 8;
    std::uint64_t end = infoSize - 4;
    if (blocks == 0 || lengthsStart > end) return EMD_BAD_LENGTHS;

    std::uint64_t* offsets = new (std::nothrow) std::uint64_t[std::uint64_t{blocks} + 1];
    if (!offsets) return EMD_LIST_NO_MEMORY;
    EmdInfo* d = new (std::nothrow) EmdInfo;
    if (!d) {
        delete[] offsets;
        return EMD_DESCRIPTOR_NO_MEMORY;
    }
    d->blockOffsets = offsets;
    d->blockSize = 1u << n;
    d->blockCount = blocks;
    d->largestStored = 0;

    BitReader in = makeBitReader(info, end, fieldStart);
    std::uint64_t offset = infoSize;
    for (std::uint32_t k = 0; k < blocks; ++k) {
        std::uint32_t stored = in.read(n);
        if (stored == 0) stored = d->blockSize;
        if (stored > d->largestStored) d->largestStored = stored;
        offsets[k] = offset;
        offset += stored;
    }
    offsets[blocks] = offset;
    d->lastBlockSize = in.read(n);
    if (d->lastBlockSize == 0) d->lastBlockSize = d->blockSize;
    for (std::uint32_t& dist : d->distances) dist = in.read(n);

    std::uint8_t lengths[EMD_SYMBOLS];
    in = makeBitReader(info, end, lengthsStart);
    if (!readMainLengths(in, lengths)) {
        freeEmdInfo(d);
        return EMD_BAD_LENGTHS;
    }
    if (!buildCanonicalCode(d->mainCode, lengths, EMD_SYMBOLS)) {
        freeEmdInfo(d);
        return EMD_BAD_MAIN_CODE;
    }
    *out = d;
    return EMD_OK;
}

void freeEmdInfo(EmdInfo* info) {
    if (!info) return;
    delete[] info->blockOffsets;
    delete info;
}

bool decodeBlock(const EmdInfo& info, const std::uint8_t* stored, std::uint32_t storedSize,
                 std::uint8_t* out, std::uint32_t size) {
    BitReader in = makeBitReader(stored, storedSize);
    std::uint32_t pos = 0;
    while (pos < size) {
        int s = decodeSymbol(info.mainCode, in);
        if (s < 0) return false;
        if (s < 256) {
            out[pos++] = static_cast<std::uint8_t>(s);
            continue;
        }
        int m = s - 256;
        std::uint32_t distance = info.distances[m / 32];
        int q = m % 32;
        std::uint32_t length;
        if (q <= 14) {
            length = static_cast<std::uint32_t>(q) + 1;
        } else {
            int k = q - 14;
            length = 14 + (1u << k) + in.read(k);
            if (in.failed) return false;
        }
        if (distance == 0 || distance > pos) return false;
        std::uint32_t stop = size - pos < length ? size : pos + length;
        // Byte by byte: a distance shorter than the length repeats a pattern.
        for (; pos < stop; ++pos) out[pos] = out[pos - distance];
    }
    return true;
}
