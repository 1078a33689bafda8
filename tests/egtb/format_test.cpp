// The compressed format. Damaged files may read as no information but never
// crash or read out of bounds (the sanitizer build checks that).
#include <gtest/gtest.h>
#include <random>
#include <sys/mman.h>
#include <unistd.h>

#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb/emd.h"
#include "egtb_support.h"
#include "tools/emd_writer.h"

namespace {

constexpr int KQK = 5, KRNKNN = 151; // krnknn holds 16-bit values

// The header code of an in-memory file; on success every block it names
// (of the first eight) is decoded.
EmdError readAll(const Bytes& file) {
    int fd = memfd_create("t.emd", 0);
    if (write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) ADD_FAILURE();
    EmdInfo* info = nullptr;
    EmdError code = readCompressedHeader(fd, &info);
    close(fd);
    if (code != EMD_OK) return code;
    std::uint8_t out[EMD_DATA_AREA];
    for (std::uint32_t k = 0; k < info->blockCount && k < 8; ++k) {
        std::uint64_t at = info->blockOffsets[k], end = info->blockOffsets[k + 1];
        std::uint32_t size = k + 1 == info->blockCount ? info->lastBlockSize : info->blockSize;
        if (end <= file.size() && size <= EMD_BLOCK_SIZE && end - at <= EMD_BLOCK_SIZE)
            decodeBlock(*info, file.data() + at, std::uint32_t(end - at), out, size);
    }
    freeEmdInfo(info);
    return EMD_OK;
}

// Registers file as kqk (White to move) and reads its blocks back.
Bytes readBack(const TableDir& dir, const Bytes& file, std::size_t size) {
    dir.write("kqk.nbw.emd", file);
    registerTables(dir.path().c_str());
    Bytes out;
    std::uint8_t block[EMD_DATA_AREA];
    for (int k = 0, n; out.size() < size && (n = readBlockDirect(KQK, 0, k, block)) > 0; ++k)
        out.insert(out.end(), block, block + n);
    return out;
}

TEST(EmdFormat, WrittenAndHandMadeFilesReadBack) {
    const char* text = "123456789"; // the reflected CRC from zero without inversion
    EXPECT_EQ(emdCrc(reinterpret_cast<const std::uint8_t*>(text), 9), 0x2DFD2D88u);
    RegistryScope scope;
    TableDir dir;
    Bytes periodic(30000), zeros(3 * EMD_BLOCK_SIZE, 0),
        mixed = randomBytes(EMD_BLOCK_SIZE + 100, 7), noise = randomBytes(5 * EMD_BLOCK_SIZE, 1);
    for (std::size_t i = 0; i < periodic.size(); ++i)
        periodic[i] = static_cast<std::uint8_t>((i % 7) * 13 + (i / 5000));
    for (std::size_t i = 0; i < 4000; ++i) mixed[i] = static_cast<std::uint8_t>(i % 3);
    // 600 symbols of rising frequencies: long codes and runs of lengths.
    Bytes rising;
    for (int v = 0; v < 256; ++v)
        for (int r = 0; r < (v < 200 ? 1 : 1 << (v - 200) / 4); ++r)
            rising.push_back(std::uint8_t(v));
    Bytes order = randomBytes(rising.size(), 11);
    for (std::size_t i = 0; i < rising.size(); ++i)
        std::swap(rising[i], rising[order[i] % (i + 1)]);
    for (const Bytes& data :
         {noise, zeros, Bytes(20000, 0x5A), periodic, mixed, Bytes{42}, rising}) {
        EXPECT_EQ(readBack(dir, compressTable(data.data(), data.size()), data.size()), data);
        EXPECT_EQ(tableRegistry[KQK].length[0], data.size());
    }
    // Compressible data shrinks; incompressible blocks are stored raw.
    EXPECT_LT(compressTable(zeros.data(), zeros.size()).size(), 2000u);
    const Bytes stored = compressTable(noise.data(), noise.size());
    EXPECT_EQ(stored.size(), emdInfoSize(stored) + noise.size());
    // 16-bit values: two bytes each, the high byte's sign kept.
    Bytes wide;
    for (int i = 0; i < 5000; ++i)
        for (int shift : {0, 8}) wide.push_back(std::uint8_t((i * 11 - 27000) >> shift));
    dir.write("krnknn.nbw.emd", compressTable(wide.data(), wide.size()));
    initEgtb(dir.path().c_str(), 1, true);
    EXPECT_EQ(tableRegistry[KRNKNN].length[0], 5000u);
    for (int i : {0, 1215, 1216, 4095, 4096, 4999})
        EXPECT_EQ(probeValue(KRNKNN, 0, i), i * 11 - 27000);
    EXPECT_EQ(probeValue(KRNKNN, 0, 5000), VALUE_BROKEN);
    // Hand-made: a code of no symbols and of one (no bits read), copies cut
    // at a block's end, and copies or bits that cannot be.
    EmdLayout none;
    none.blocks = {{0xFF}, {0xFF}};
    none.lastSize = 10;
    EXPECT_EQ(readBack(dir, writeEmdFile(none), EMD_BLOCK_SIZE + 10),
              Bytes(EMD_BLOCK_SIZE + 10, 0));
    EmdLayout one;
    one.lengths['A'] = 1;
    one.blocks = {{0x00}};
    one.lastSize = 300;
    EXPECT_EQ(readBack(dir, writeEmdFile(one), 300), Bytes(300, 'A'));
    // "yx", a copy of 3 from distance 2 and an "x", then copies of 9000 from
    // distance 1 cut at the ends of blocks of 8192 and 100.
    EmdLayout cut;
    CopyCode far = copyCode(0, 9000), near = copyCode(1, 3);
    cut.lengths['x'] = cut.lengths['y'] = cut.lengths[far.symbol] = cut.lengths[near.symbol] = 2;
    cut.distances[0] = 1;
    cut.distances[1] = 2;
    SymbolWriter code(cut.lengths, EMD_SYMBOLS);
    auto block = [&](std::initializer_list<int> symbols, bool extraBits = true) {
        BitWriter w;
        for (int s : symbols) {
            code.put(w, s);
            if (s == far.symbol && extraBits) w.put(far.extra, far.extraBits);
        }
        return w.bytes;
    };
    cut.blocks = {block({'y', 'x', near.symbol, 'x', far.symbol}), block({'x', far.symbol})};
    cut.lastSize = 100;
    Bytes expected(EMD_BLOCK_SIZE + 100, 'x');
    expected[0] = expected[2] = expected[4] = 'y';
    EXPECT_EQ(readBack(dir, writeEmdFile(cut), EMD_BLOCK_SIZE + 100), expected);
    // A copy from before the output, a distance of 0, missing extra bits.
    cut.distances[1] = 0;
    cut.lastSize = 50;
    for (const Bytes& bytes : {block({far.symbol}), block({'x', near.symbol, far.symbol}),
                               block({'x', far.symbol}, false)}) {
        cut.blocks = {bytes};
        EXPECT_EQ(readBack(dir, writeEmdFile(cut), 50), Bytes{});
    }
}

// Header errors in the order they are tested.
TEST(EmdFormat, HeaderErrorsAndDamagedFiles) {
    Bytes data = randomBytes(3 * EMD_BLOCK_SIZE + 500, 41);
    for (std::size_t i = 0; i < data.size(); ++i)
        if (i % 5 != 0) data[i] = static_cast<std::uint8_t>(data[i] % 4);
    const Bytes good = compressTable(data.data(), data.size());
    const std::uint32_t s = emdInfoSize(good);
    EXPECT_EQ(readCompressedHeader(-1, nullptr), EMD_NO_DESCRIPTOR_PLACE);
    auto changed = [&](auto edit, bool crc = false) {
        Bytes f = good;
        edit(f);
        if (crc) refreshEmdCrc(f);
        return readAll(f);
    };
    EXPECT_EQ(changed([](Bytes&) {}), EMD_OK);
    EXPECT_EQ(changed([](Bytes& f) { f.resize(79); }), EMD_SHORT_HEADER);
    EXPECT_EQ(changed([](Bytes& f) { f[0] ^= 1; }, true), EMD_OK); // the banner is not compared
    EXPECT_EQ(changed([](Bytes& f) { f[67] = 83, f[66] = 0; }), EMD_BAD_SIZES);
    EXPECT_EQ(changed([](Bytes& f) { f[70] = 17, f[71] = 23; }), EMD_BAD_SIZES);
    EXPECT_EQ(changed([](Bytes& f) { f[71] = 23, f[79] ^= 1; }), EMD_BAD_DISTANCE_COUNT);
    EXPECT_EQ(changed([](Bytes& f) { f[79] ^= 1; }), EMD_BAD_MAGIC);
    EXPECT_EQ(changed([&](Bytes& f) { f.resize(s - 1); }), EMD_INFO_UNREADABLE);
    EXPECT_EQ(changed([&](Bytes& f) { f[s - 5] ^= 0x40; }), EMD_BAD_CRC);
    EXPECT_EQ(changed([&](Bytes& f) { f[s - 1] ^= 1; }), EMD_BAD_CRC);
    // Code lengths: a 0 where a file without codes has its single 1 bit;
    // three codes of length 1; lengths 1 and 2 only; one code of length 2.
    EmdLayout none;
    none.blocks = {{1}};
    none.lastSize = 1;
    Bytes bare = writeEmdFile(none);
    bare[emdInfoSize(bare) - 5] = 0;
    refreshEmdCrc(bare);
    EXPECT_EQ(readAll(bare), EMD_BAD_LENGTHS);
    for (std::string lengths : {"111", "12", "000000002"}) {
        EmdLayout l = none;
        for (std::size_t i = 0; i < lengths.size(); ++i) l.lengths[i + 1] = lengths[i] - '0';
        EXPECT_EQ(readAll(writeEmdFile(l)), EMD_BAD_MAIN_CODE) << lengths;
    }
    // Only the whole header reads; the CRC finds every flipped bit.
    int accepted = 0;
    for (std::uint32_t cut = 0; cut <= s; ++cut)
        accepted += readAll(Bytes(good.begin(), good.begin() + cut)) == EMD_OK;
    for (std::uint32_t bit = 0; bit < 8 * s; ++bit) {
        Bytes f = good;
        f[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> bit % 8);
        accepted += readAll(f) == EMD_OK;
    }
    EXPECT_EQ(accepted, 1);
    // Random headers that pass the fixed tests and the CRC.
    std::mt19937 rng(77);
    for (int i = 0; i < 100; ++i) {
        std::uint32_t size = 84 + rng() % 300;
        Bytes f = randomBytes(size + rng() % 20000, rng());
        // Sizes, block shift, distance count, reserved bytes and the magic.
        f[64] = f[65] = f[72] = f[73] = f[74] = f[76] = 0;
        f[66] = std::uint8_t(size >> 8), f[67] = std::uint8_t(size);
        f[70] = std::uint8_t(rng() % 17), f[71] = EMD_DISTANCES, f[75] = std::uint8_t(rng() % 30);
        f[77] = 0x40, f[78] = 0x01, f[79] = 0xF5;
        refreshEmdCrc(f);
        readAll(f);
    }
    // Flipped, random or cut block bytes, read through the cache.
    RegistryScope scope;
    TableDir dir;
    for (int round = 0; round < 40; ++round) {
        Bytes f = good;
        for (int n = 0; n <= round % 3; ++n)
            f[s + rng() % (f.size() - s)] ^= std::uint8_t(1 << rng() % 8);
        if (round % 4 == 3)
            for (std::size_t i = s; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(rng());
        if (round % 5 == 4) f.resize(s + rng() % (f.size() - s));
        dir.write("kqk.nbw.emd", f);
        initEgtb(dir.path().c_str(), 1, true);
        for (std::uint32_t i = 0; i < data.size(); i += 97) {
            std::int32_t v = probeValue(KQK, 0, i);
            ASSERT_TRUE(v == VALUE_BROKEN || v == 0 || std::abs(v) > 32000) << v;
        }
    }
}

} // namespace
