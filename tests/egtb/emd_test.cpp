// The compressed format: CRC, header errors, the decoder's edge cases and
// round trips through the writer, read back through registration and cache.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb/emd.h"
#include "egtb_support.h"
#include "tools/emd_writer.h"

namespace {

constexpr int KQK = 5;
constexpr int KRNKNN = 151; // 16-bit values

void setBigEndian(Bytes& f, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
std::uint32_t infoSize(const Bytes& f) {
    return std::uint32_t{f[64]} << 24 | f[65] << 16 | f[66] << 8 | f[67];
}
void refreshCrc(Bytes& f) {
    std::uint32_t s = infoSize(f);
    setBigEndian(f, s - 4, emdCrc(f.data(), s - 4));
}

EmdError headerCode(const TableDir& dir, const Bytes& file, EmdInfo** info = nullptr) {
    dir.write("probe.emd", file);
    int fd = open(dir.file("probe.emd").c_str(), O_RDONLY);
    EmdInfo* got = nullptr;
    EmdError code = readCompressedHeader(fd, &got);
    close(fd);
    if (info)
        *info = got;
    else
        freeEmdInfo(got);
    return code;
}

// Registers file as kqk (White to move) and reads every block back.
Bytes readBack(const TableDir& dir, const Bytes& file, std::size_t size, int table = KQK,
               const char* name = "kqk.nbw.emd") {
    dir.write(name, file);
    registerTables(dir.path().c_str());
    Bytes out;
    std::uint8_t block[EMD_DATA_AREA];
    for (std::uint32_t k = 0; out.size() < size; ++k) {
        int n = readBlockDirect(table, 0, k, block);
        if (n <= 0) break;
        out.insert(out.end(), block, block + n);
    }
    return out;
}

TEST(EmdFormat, CrcIsTheReflectedCrcFromZeroWithoutInversion) {
    const char* text = "123456789";
    EXPECT_EQ(emdCrc(reinterpret_cast<const std::uint8_t*>(text), 9), 0x2DFD2D88u);
}

TEST(EmdFormat, WriterRoundTripsThroughTheReader) {
    RegistryScope scope;
    TableDir dir;
    Bytes periodic(30000), repeated(20000, 0x5A), zeros(3 * EMD_BLOCK_SIZE, 0);
    for (std::size_t i = 0; i < periodic.size(); ++i)
        periodic[i] = static_cast<std::uint8_t>((i % 7) * 13 + (i / 5000));
    Bytes mixed = randomBytes(EMD_BLOCK_SIZE + 100, 7); // incompressible, short last block
    for (std::size_t i = 0; i < 4000; ++i) mixed[i] = static_cast<std::uint8_t>(i % 3);
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"random", randomBytes(5 * EMD_BLOCK_SIZE, 1)},
        {"zeros", zeros},
        {"one byte repeated", repeated},
        {"periodic", periodic},
        {"mixed, short last block", mixed},
        {"one byte", Bytes{42}},
    };
    for (const auto& [what, data] : cases) {
        Bytes file = compressTable(data.data(), data.size());
        EXPECT_EQ(readBack(dir, file, data.size()), data) << what;
        EXPECT_EQ(tableRegistry[KQK].length[0], data.size()) << what;
    }
    // Compressible data shrinks; incompressible blocks are stored raw.
    EXPECT_LT(compressTable(zeros.data(), zeros.size()).size(), 2000u);
    Bytes noise = randomBytes(4 * EMD_BLOCK_SIZE, 3);
    Bytes stored = compressTable(noise.data(), noise.size());
    EXPECT_EQ(stored.size(), infoSize(stored) + noise.size());
}

TEST(EmdFormat, SixteenBitTablesCountValuesAndKeepTheSignOfTheHighByte) {
    RegistryScope scope;
    TableDir dir;
    Bytes data(2 * 5000);
    for (int i = 0; i < 5000; ++i) {
        std::int16_t v = static_cast<std::int16_t>(i * 11 - 27000);
        data[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        data[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
    dir.write("krnknn.nbw.emd", compressTable(data.data(), data.size()));
    initEgtb(dir.path().c_str(), 1, true);
    EXPECT_EQ(tableRegistry[KRNKNN].length[0], 5000u);
    for (int i : {0, 1, 1215, 1216, 4095, 4096, 4999})
        EXPECT_EQ(probeValue(KRNKNN, 0, i), i * 11 - 27000) << i;
    EXPECT_EQ(probeValue(KRNKNN, 0, 5000), VALUE_BROKEN);
}

// Hand-made files: a code of no symbols, a code of one symbol, a copy cut
// at the block's end, and copies or bits that cannot be.
TEST(EmdFormat, HandMadeCodesAndCopies) {
    RegistryScope scope;
    TableDir dir;
    EmdLayout none; // every length 0: symbol 0 everywhere, no bits read
    none.blocks = {{0xFF}, {0xFF}};
    none.lastSize = 10;
    EXPECT_EQ(readBack(dir, writeEmdFile(none), EMD_BLOCK_SIZE + 10),
              Bytes(EMD_BLOCK_SIZE + 10, 0));

    EmdLayout one; // only 'A', with length 1: no bits read either
    one.lengths['A'] = 1;
    one.blocks = {{0x00}};
    one.lastSize = 300;
    EXPECT_EQ(readBack(dir, writeEmdFile(one), 300), Bytes(300, 'A'));

    // "yx", a copy of 3 from distance 2 and an "x", then copies of 9000 from
    // distance 1, cut at the ends of blocks of 8192 and 100.
    EmdLayout cut;
    cut.lengths['x'] = cut.lengths['y'] = 2;
    CopyCode far = copyCode(0, 9000), near = copyCode(1, 3);
    cut.lengths[far.symbol] = cut.lengths[near.symbol] = 2;
    cut.distances[0] = 1;
    cut.distances[1] = 2;
    SymbolWriter code(cut.lengths, EMD_SYMBOLS);
    BitWriter first, second;
    code.put(first, 'y');
    code.put(first, 'x');
    code.put(first, near.symbol);
    code.put(first, 'x');
    code.put(first, far.symbol);
    first.put(far.extra, far.extraBits);
    code.put(second, 'x');
    code.put(second, far.symbol);
    second.put(far.extra, far.extraBits);
    cut.blocks = {first.bytes, second.bytes};
    cut.lastSize = 100;
    Bytes expected = {'y', 'x', 'y', 'x', 'y', 'x'};
    expected.resize(EMD_BLOCK_SIZE, 'x');
    expected.insert(expected.end(), 100, 'x');
    EXPECT_EQ(readBack(dir, writeEmdFile(cut), EMD_BLOCK_SIZE + 100), expected);

    // A copy from before the output, a distance of 0, a block short of bits.
    BitWriter early, zero, shortBits;
    code.put(early, far.symbol);
    early.put(far.extra, far.extraBits);
    cut.distances[1] = 0;
    code.put(zero, 'x');
    code.put(zero, near.symbol); // distance 0, then a copy that would end the block
    code.put(zero, far.symbol);
    zero.put(far.extra, far.extraBits);
    code.put(shortBits, 'x');
    code.put(shortBits, far.symbol); // its extra bits are missing
    for (const Bytes& block : {early.bytes, zero.bytes, shortBits.bytes}) {
        cut.blocks = {block};
        cut.lastSize = 50;
        dir.write("kqk.nbw.emd", writeEmdFile(cut));
        registerTables(dir.path().c_str());
        std::uint8_t out[EMD_DATA_AREA];
        EXPECT_EQ(readBlockDirect(KQK, 0, 0, out), -1);
    }
}

TEST(EmdFormat, HeaderErrorsInTheOrderTheyAreTested) {
    TableDir dir;
    Bytes data = randomBytes(3 * EMD_BLOCK_SIZE, 5);
    for (std::size_t i = 0; i < data.size(); i += 3) data[i] = 0;
    const Bytes good = compressTable(data.data(), data.size());
    const std::uint32_t s = infoSize(good);
    EmdInfo* info = nullptr;
    ASSERT_EQ(headerCode(dir, good, &info), EMD_OK);
    EXPECT_EQ(info->blockCount, 3u);
    EXPECT_EQ(info->blockOffsets[0], s);
    EXPECT_EQ(info->blockOffsets[3], good.size());
    freeEmdInfo(info);
    EXPECT_EQ(readCompressedHeader(-1, nullptr), EMD_NO_DESCRIPTOR_PLACE);

    auto changed = [&](auto edit, bool crc = false) {
        Bytes f = good;
        edit(f);
        if (crc) refreshCrc(f);
        return headerCode(dir, f);
    };
    EXPECT_EQ(changed([](Bytes& f) { f.resize(79); }), EMD_SHORT_HEADER);
    EXPECT_EQ(changed([](Bytes& f) { f[0] ^= 1; }, true), EMD_OK); // the banner is not compared
    EXPECT_EQ(changed([](Bytes& f) { setBigEndian(f, 64, 83); }), EMD_BAD_SIZES);
    EXPECT_EQ(changed([](Bytes& f) { f[70] = 17; }), EMD_BAD_SIZES);
    EXPECT_EQ(changed([](Bytes& f) { f[71] = 23; }), EMD_BAD_DISTANCE_COUNT);
    EXPECT_EQ(changed([](Bytes& f) { f[79] ^= 1; }), EMD_BAD_MAGIC);
    EXPECT_EQ(changed([&](Bytes& f) { f.resize(s - 1); }), EMD_INFO_UNREADABLE);
    EXPECT_EQ(changed([&](Bytes& f) { f[s - 5] ^= 0x40; }), EMD_BAD_CRC);
    EXPECT_EQ(changed([&](Bytes& f) { f[s - 1] ^= 1; }), EMD_BAD_CRC);
    // The lengths field of a file without codes is a single 1 bit; a 0 there
    // asks for more lengths than the header holds.
    EmdLayout none;
    none.blocks = {{1}};
    none.lastSize = 1;
    Bytes bare = writeEmdFile(none);
    bare[infoSize(bare) - 5] = 0;
    refreshCrc(bare);
    EXPECT_EQ(headerCode(dir, bare), EMD_BAD_LENGTHS);
    EmdLayout crowded = none; // three codes of length 1
    crowded.lengths[1] = crowded.lengths[2] = crowded.lengths[3] = 1;
    EXPECT_EQ(headerCode(dir, writeEmdFile(crowded)), EMD_BAD_MAIN_CODE);
    EmdLayout gap = none; // lengths 1 and 2 only: not complete
    gap.lengths[1] = 1;
    gap.lengths[2] = 2;
    EXPECT_EQ(headerCode(dir, writeEmdFile(gap)), EMD_BAD_MAIN_CODE);
    EmdLayout lone = none; // one code, of length 2
    lone.lengths[9] = 2;
    EXPECT_EQ(headerCode(dir, writeEmdFile(lone)), EMD_BAD_MAIN_CODE);
}

// Long runs of code lengths (R = 2^k + x + 33) and codes longer than the
// primary table: 600 symbols with rising frequencies.
TEST(EmdFormat, LongCodesAndLengthRuns) {
    RegistryScope scope;
    TableDir dir;
    Bytes data;
    for (int v = 0; v < 256; ++v)
        for (int r = 0; r < (v < 200 ? 1 : 1 << (v - 200) / 4); ++r)
            data.push_back(static_cast<std::uint8_t>(v));
    Bytes shuffled = randomBytes(data.size(), 11);
    for (std::size_t i = 0; i < data.size(); ++i) std::swap(data[i], data[shuffled[i] % (i + 1)]);
    EXPECT_EQ(readBack(dir, compressTable(data.data(), data.size()), data.size()), data);
}

} // namespace
