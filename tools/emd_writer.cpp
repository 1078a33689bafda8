#include "tools/emd_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <queue>

const std::uint32_t EMD_WRITER_DISTANCES[EMD_DISTANCES] = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14, 16, 20, 24, 28, 32, 48, 64, 96, 128, 256, 512, 1024};

namespace {

constexpr std::uint32_t MIN_COPY = 3;

// Huffman code lengths for the frequencies, none longer than limit. A single
// used symbol gets length 1; unused symbols 0.
void huffmanLengths(const std::vector<std::uint64_t>& freq, int limit, std::uint8_t* lengths) {
    const int n = static_cast<int>(freq.size());
    std::fill(lengths, lengths + n, 0);
    std::vector<std::uint64_t> f = freq;
    for (;;) {
        struct Node {
            std::uint64_t weight;
            int index;
        };
        auto heavier = [](const Node& a, const Node& b) {
            return a.weight != b.weight ? a.weight > b.weight : a.index > b.index;
        };
        std::priority_queue<Node, std::vector<Node>, decltype(heavier)> heap(heavier);
        std::vector<int> parent;
        for (int s = 0; s < n; ++s) {
            if (f[s] == 0) continue;
            heap.push({f[s], static_cast<int>(parent.size())});
            parent.push_back(-1);
        }
        if (parent.empty()) return;
        if (parent.size() == 1) {
            for (int s = 0; s < n; ++s)
                if (f[s]) lengths[s] = 1;
            return;
        }
        while (heap.size() > 1) {
            Node a = heap.top();
            heap.pop();
            Node b = heap.top();
            heap.pop();
            int joined = static_cast<int>(parent.size());
            parent.push_back(-1);
            parent[a.index] = parent[b.index] = joined;
            heap.push({a.weight + b.weight, joined});
        }
        int leaf = 0, longest = 0;
        for (int s = 0; s < n; ++s) {
            if (f[s] == 0) continue;
            int depth = 0;
            for (int p = parent[leaf]; p >= 0; p = parent[p]) ++depth;
            lengths[s] = static_cast<std::uint8_t>(std::min(depth, 255));
            longest = std::max(longest, depth);
            ++leaf;
        }
        if (longest <= limit) return;
        for (auto& w : f)
            if (w) w = (w >> 1) | 1; // flatten and build again
    }
}

struct Token {
    std::uint16_t symbol;
    std::uint8_t extraBits;
    std::uint32_t extra;
};

// Greedy matching against the writer's 24 distances.
std::vector<Token> tokenize(const std::uint8_t* block, std::uint32_t size) {
    std::vector<Token> tokens;
    std::uint32_t pos = 0;
    while (pos < size) {
        std::uint32_t bestLength = 0;
        int bestIndex = 0;
        for (int di = 0; di < EMD_DISTANCES; ++di) {
            std::uint32_t d = EMD_WRITER_DISTANCES[di];
            if (d > pos) break;
            std::uint32_t l = 0;
            while (pos + l < size && block[pos + l] == block[pos + l - d]) ++l;
            if (l > bestLength) {
                bestLength = l;
                bestIndex = di;
            }
        }
        if (bestLength >= MIN_COPY) {
            CopyCode c = copyCode(bestIndex, bestLength);
            tokens.push_back({static_cast<std::uint16_t>(c.symbol),
                              static_cast<std::uint8_t>(c.extraBits), c.extra});
            pos += bestLength;
        } else {
            tokens.push_back({block[pos], 0, 0});
            ++pos;
        }
    }
    return tokens;
}

// The code-length field: the 1024 lengths through the two auxiliary codes.
void putLengths(BitWriter& out, const std::uint8_t* lengths) {
    if (std::all_of(lengths, lengths + EMD_SYMBOLS, [](std::uint8_t l) { return l == 0; })) {
        out.put(1, 1);
        return;
    }
    out.put(0, 1);
    // Symbols of A: a length (0-31), or 32 + v for a run of v; B: the run's size.
    struct Item {
        int a, b = -1, extraBits = 0;
        std::uint32_t extra = 0;
    };
    std::vector<Item> items;
    for (int i = 0; i < EMD_SYMBOLS;) {
        int run = 1;
        while (i + run < EMD_SYMBOLS && lengths[i + run] == lengths[i]) ++run;
        if (run < 2) {
            items.push_back({lengths[i]});
            ++i;
            continue;
        }
        Item item{32 + lengths[i]};
        if (run <= 33) {
            item.b = run - 2;
        } else {
            int k = std::bit_width(static_cast<unsigned>(run - 33)) - 1;
            item.b = 32 + k;
            item.extraBits = k;
            item.extra = static_cast<std::uint32_t>(run - 33 - (1 << k));
        }
        items.push_back(item);
        i += run;
    }
    std::vector<std::uint64_t> fa(EMD_AUX_SYMBOLS), fb(EMD_AUX_SYMBOLS);
    for (const Item& it : items) {
        ++fa[it.a];
        if (it.b >= 0) ++fb[it.b];
    }
    std::uint8_t aux[2 * EMD_AUX_SYMBOLS];
    huffmanLengths(fa, EMD_MAX_CODE_LENGTH, aux);
    huffmanLengths(fb, EMD_MAX_CODE_LENGTH, aux + EMD_AUX_SYMBOLS);
    // The 128 auxiliary lengths: a width, then each length, zeros as runs.
    int widest = *std::max_element(aux, aux + 2 * EMD_AUX_SYMBOLS);
    int width = std::bit_width(static_cast<unsigned>(widest));
    out.put(0, 1);
    out.put(static_cast<std::uint32_t>(width), 5);
    for (int i = 0; i < 2 * EMD_AUX_SYMBOLS;) {
        out.put(aux[i], width);
        if (aux[i] != 0) {
            ++i;
            continue;
        }
        int z = 0;
        while (z < 15 && i + 1 + z < 2 * EMD_AUX_SYMBOLS && aux[i + 1 + z] == 0) ++z;
        out.put(static_cast<std::uint32_t>(z), 4);
        i += 1 + z;
    }
    const SymbolWriter codeA(aux, EMD_AUX_SYMBOLS), codeB(aux + EMD_AUX_SYMBOLS, EMD_AUX_SYMBOLS);
    for (const Item& it : items) {
        codeA.put(out, it.a);
        if (it.b < 0) continue;
        codeB.put(out, it.b);
        out.put(it.extra, it.extraBits);
    }
}

void putBigEndian(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

} // namespace

void BitWriter::put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (bits % 8 == 0) bytes.push_back(0);
        if (value >> i & 1) bytes.back() |= static_cast<std::uint8_t>(0x80 >> (bits % 8));
        ++bits;
    }
}

SymbolWriter::SymbolWriter(const std::uint8_t* codeLengths, int symbols)
    : lengths(codeLengths, codeLengths + symbols), codes(symbols) {
    std::uint32_t next = 0;
    for (int len = 1; len <= EMD_MAX_CODE_LENGTH; ++len) {
        for (int s = 0; s < symbols; ++s)
            if (lengths[s] == len) codes[s] = next++;
        next <<= 1;
    }
    bitless = std::count_if(lengths.begin(), lengths.end(), [](std::uint8_t l) { return l; }) < 2;
}

CopyCode copyCode(int distanceIndex, std::uint32_t length) {
    int base = 256 + 32 * distanceIndex;
    if (length <= 15) return {base + static_cast<int>(length) - 1, 0, 0};
    int k = std::bit_width(length - 14) - 1;
    return {base + 14 + k, k, length - 14 - (1u << k)};
}

std::vector<std::uint8_t> writeEmdFile(const EmdLayout& layout) {
    const int n = layout.blockShift;
    const std::uint32_t blocks = static_cast<std::uint32_t>(layout.blocks.size());
    const std::uint32_t mask = (1u << n) - 1;
    std::vector<std::uint8_t> out(EMD_HEADER_FIXED + 8 * static_cast<std::size_t>(blocks), 0);
    std::memcpy(out.data(), EMD_BANNER, sizeof EMD_BANNER);
    out[70] = static_cast<std::uint8_t>(n);
    out[71] = EMD_DISTANCES;
    putBigEndian(out, 72, blocks);
    putBigEndian(out, 76, EMD_MAGIC);
    BitWriter fields;
    for (const auto& b : layout.blocks) fields.put(static_cast<std::uint32_t>(b.size()) & mask, n);
    fields.put(layout.lastSize & mask, n);
    for (std::uint32_t d : layout.distances) fields.put(d, n);
    out.insert(out.end(), fields.bytes.begin(), fields.bytes.end());
    BitWriter lengths;
    putLengths(lengths, layout.lengths);
    out.insert(out.end(), lengths.bytes.begin(), lengths.bytes.end());
    std::size_t infoSize = out.size() + 4;
    putBigEndian(out, 64, static_cast<std::uint32_t>(infoSize));
    std::uint32_t crc = emdCrc(out.data(), out.size());
    out.resize(infoSize);
    putBigEndian(out, infoSize - 4, crc);
    for (const auto& b : layout.blocks) out.insert(out.end(), b.begin(), b.end());
    return out;
}

std::vector<std::uint8_t> compressTable(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return {};
    EmdLayout layout;
    std::copy(EMD_WRITER_DISTANCES, EMD_WRITER_DISTANCES + EMD_DISTANCES, layout.distances);
    std::size_t blockCount = (size + EMD_BLOCK_SIZE - 1) / EMD_BLOCK_SIZE;
    std::vector<std::vector<Token>> tokens(blockCount);
    std::vector<std::uint64_t> freq(EMD_SYMBOLS);
    for (std::size_t k = 0; k < blockCount; ++k) {
        std::size_t start = k * EMD_BLOCK_SIZE;
        auto len = static_cast<std::uint32_t>(std::min<std::size_t>(EMD_BLOCK_SIZE, size - start));
        tokens[k] = tokenize(data + start, len);
        for (const Token& t : tokens[k]) ++freq[t.symbol];
    }
    huffmanLengths(freq, EMD_MAX_CODE_LENGTH, layout.lengths);
    const SymbolWriter code(layout.lengths, EMD_SYMBOLS);
    for (std::size_t k = 0; k < blockCount; ++k) {
        std::size_t start = k * EMD_BLOCK_SIZE;
        auto len = static_cast<std::uint32_t>(std::min<std::size_t>(EMD_BLOCK_SIZE, size - start));
        BitWriter bits;
        for (const Token& t : tokens[k]) {
            code.put(bits, t.symbol);
            bits.put(t.extra, t.extraBits);
        }
        // A block of no bits still needs a stored byte: a stored size of 0
        // would read as a raw block.
        if (bits.bytes.empty()) bits.bytes.push_back(0);
        if (bits.bytes.size() < len)
            layout.blocks.push_back(std::move(bits.bytes));
        else
            layout.blocks.emplace_back(data + start, data + start + len);
        if (k + 1 == blockCount) layout.lastSize = len;
    }
    return writeEmdFile(layout);
}
