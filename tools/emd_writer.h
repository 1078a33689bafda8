// Writer of compressed tablebase files, for the tests, the benchmark and the
// table generator; the engine itself only reads them. compressTable turns any
// bytes into a file the reader accepts; writeEmdFile lays out a file from
// hand-made parts so that tests can build unusual codes and blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "egtb/emd.h"

// The copy distances compressTable uses.
extern const std::uint32_t EMD_WRITER_DISTANCES[EMD_DISTANCES];

// Bits written most significant first.
struct BitWriter {
    std::vector<std::uint8_t> bytes;
    std::uint64_t bits = 0;
    void put(std::uint32_t value, int count);
};

// The canonical code of a set of code lengths, for writing symbols.
struct SymbolWriter {
    std::vector<std::uint8_t> lengths;
    std::vector<std::uint32_t> codes;
    bool bitless = false; // a code of one symbol (or none) is written with no bits

    SymbolWriter(const std::uint8_t* codeLengths, int symbols);
    void put(BitWriter& out, int symbol) const {
        if (!bitless) out.put(codes[symbol], lengths[symbol]);
    }
};
// The copy symbol and its extra bits for a copy of length L (1 .. 8192)
// from distance number di: symbol 256 + 32 × di + q.
struct CopyCode {
    int symbol;
    int extraBits;
    std::uint32_t extra;
};
CopyCode copyCode(int distanceIndex, std::uint32_t length);

// Everything a compressed file holds, before it is laid out.
struct EmdLayout {
    int blockShift = EMD_BLOCK_SHIFT;
    std::uint8_t lengths[EMD_SYMBOLS] = {};
    std::uint32_t distances[EMD_DISTANCES] = {};
    std::vector<std::vector<std::uint8_t>> blocks; // stored bytes of each block
    std::uint32_t lastSize = 0;                    // uncompressed size of the last block
};
// The file: header with sizes, distances, code lengths and CRC, then blocks.
std::vector<std::uint8_t> writeEmdFile(const EmdLayout& layout);

// Compresses data (size > 0) in 8192-byte blocks; a block that would not
// shrink is stored raw.
std::vector<std::uint8_t> compressTable(const std::uint8_t* data, std::size_t size);
