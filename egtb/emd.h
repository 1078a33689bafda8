// Compressed tablebase files: the header (information block) read into a
// descriptor, the canonical Huffman codes it carries, and the decoder of one
// block. Numbers in the file are big-endian; bit fields are read most
// significant bit first.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int EMD_BLOCK_SIZE = 8192;
inline constexpr int EMD_BLOCK_SHIFT = 13;
inline constexpr int EMD_HEADER_FIXED = 80;  // banner, S, n, 24, B, magic
inline constexpr int EMD_MIN_INFO_SIZE = 84; // the fixed part and the CRC
inline constexpr int EMD_DISTANCES = 24;
inline constexpr int EMD_SYMBOLS = 1024;
inline constexpr int EMD_AUX_SYMBOLS = 64;
inline constexpr std::uint32_t EMD_MAGIC = 0x004001F5;
inline constexpr int EMD_MAX_CODE_LENGTH = 31;
inline constexpr int EMD_PRIMARY_BITS = 13;
// A decoded block's area: the block and the spare bytes the format allows a
// decoder to over-copy into.
inline constexpr int EMD_DATA_AREA = 8228;

// The fixed 64-byte banner this project's writer puts at the start of a file.
extern const char EMD_BANNER[64];

// Error codes of readCompressedHeader; the message registration prints
// depends on the code's low byte (2 read error, 5 out of memory, 6 broken).
enum EmdError : std::int32_t {
    EMD_OK = 0,
    EMD_NO_DESCRIPTOR_PLACE = 179719,
    EMD_SHORT_HEADER = 181506,
    EMD_BAD_BANNER = 182274,
    EMD_BAD_SIZES = 184582,
    EMD_BAD_DISTANCE_COUNT = 185350,
    EMD_BAD_MAGIC = 186630,
    EMD_INFO_NO_MEMORY = 187397,
    EMD_INFO_UNREADABLE = 188677,
    EMD_BAD_CRC = 190214,
    EMD_LIST_NO_MEMORY = 193797,
    EMD_DESCRIPTOR_NO_MEMORY = 195845,
    EMD_BAD_LENGTHS = 208902,
    EMD_BAD_MAIN_CODE = 210694,
};

// A canonical prefix code over up to 1024 symbols.
struct CanonicalCode {
    std::int32_t single; // >= 0: every lookup gives this symbol, no bits read
    std::int32_t maxLength;
    std::uint16_t count[EMD_MAX_CODE_LENGTH + 1]; // codes per length
    std::uint16_t sorted[EMD_SYMBOLS];            // symbols by (length, value)
    // Codes of up to 13 bits: entry = symbol × 32 + length, 0 = look further.
    std::uint16_t primary[1 << EMD_PRIMARY_BITS];
};

// Builds the code; false when a length exceeds 31, a single length is not 1,
// or the lengths do not form a complete prefix code.
bool buildCanonicalCode(CanonicalCode& code, const std::uint8_t* lengths, int symbols);

// Reads bits most significant first from a byte range; reading past its end
// sets failed and gives zeros.
struct BitReader {
    const std::uint8_t* data;
    std::uint64_t size; // bytes
    std::uint64_t pos;  // bits consumed
    bool failed;

    // The next 64 bits without consuming them, zeros past the end.
    std::uint64_t peek() const;
    std::uint32_t read(int bits); // bits <= 32
};
BitReader makeBitReader(const std::uint8_t* data, std::uint64_t size, std::uint64_t bytePos = 0);
// Decodes one symbol; -1 on a code that is not there or bits that ran out.
int decodeSymbol(const CanonicalCode& code, BitReader& in);

// What a compressed file's header tells.
struct EmdInfo {
    CanonicalCode mainCode;
    std::uint32_t distances[EMD_DISTANCES];
    std::uint32_t blockSize;     // 2^n
    std::uint32_t blockCount;    // B
    std::uint32_t lastBlockSize; // uncompressed size of block B - 1
    std::uint32_t largestStored; // largest stored (compressed) block
    std::uint64_t* blockOffsets; // B + 1 file offsets; block k is [k], [k + 1]
};

// Reads the header of the open file into a new descriptor. EMD_OK or an
// error code; out is set only on success. Free with freeEmdInfo.
EmdError readCompressedHeader(int fd, EmdInfo** out);
void freeEmdInfo(EmdInfo* info);

// The reflected CRC-32 (0xEDB88320) from 0, without final inversion.
std::uint32_t emdCrc(const std::uint8_t* data, std::size_t size);

// Decodes one stored block of `storedSize` bytes into exactly `size` bytes
// of out. False on a bad code, a copy from before the output or a block
// short of bits.
bool decodeBlock(const EmdInfo& info, const std::uint8_t* stored, std::uint32_t storedSize,
                 std::uint8_t* out, std::uint32_t size);
