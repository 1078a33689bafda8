// Damaged compressed files: every truncation and bit flip of a header, random
// headers, and flipped or random block bytes. Reading them may fail but
// never crashes or reads out of bounds (the sanitizer build checks that).
#include <fcntl.h>
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

constexpr int KQK = 5;

Bytes sampleTable() {
    Bytes data = randomBytes(3 * EMD_BLOCK_SIZE + 500, 41);
    for (std::size_t i = 0; i < data.size(); ++i)
        if (i % 5 != 0) data[i] = static_cast<std::uint8_t>(data[i] % 4);
    return data;
}

std::uint32_t infoSize(const Bytes& f) {
    return std::uint32_t{f[64]} << 24 | f[65] << 16 | f[66] << 8 | f[67];
}

constexpr std::size_t HEADER_ROOM = 4096;

// Reads the header of file (written up to HEADER_ROOM bytes); on success
// decodes every block it names from the bytes in memory.
EmdError readAll(const Bytes& file) {
    // An in-memory file: rewriting a disk file thousands of times is slow.
    int fd = memfd_create("fuzz.emd", 0);
    std::size_t size = std::min(file.size(), HEADER_ROOM);
    if (write(fd, file.data(), size) != static_cast<ssize_t>(size)) ADD_FAILURE() << "write";
    EmdInfo* info = nullptr;
    EmdError code = readCompressedHeader(fd, &info);
    close(fd);
    if (code != EMD_OK) return code;
    std::uint8_t out[EMD_DATA_AREA];
    for (std::uint32_t k = 0; k < info->blockCount && k < 8; ++k) {
        std::uint64_t at = info->blockOffsets[k], end = info->blockOffsets[k + 1];
        std::uint32_t size = k + 1 == info->blockCount ? info->lastBlockSize : info->blockSize;
        if (end > file.size() || size > EMD_BLOCK_SIZE || end - at > EMD_BLOCK_SIZE) continue;
        decodeBlock(*info, file.data() + at, static_cast<std::uint32_t>(end - at), out, size);
    }
    freeEmdInfo(info);
    return EMD_OK;
}

TEST(EgtbFuzz, TruncatedFlippedAndRandomHeaders) {
    const Bytes data = sampleTable();
    const Bytes good = compressTable(data.data(), data.size());
    const std::uint32_t s = infoSize(good);
    ASSERT_LT(s, HEADER_ROOM);
    int accepted = 0;
    for (std::uint32_t cut = 0; cut <= s; ++cut)
        accepted += readAll(Bytes(good.begin(), good.begin() + cut)) == EMD_OK;
    EXPECT_EQ(accepted, 1); // only the whole header
    // The CRC covers the whole header, so every flip is found.
    for (std::uint32_t bit = 0; bit < 8 * s; ++bit) {
        Bytes f = good;
        f[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> bit % 8);
        accepted += readAll(f) == EMD_OK;
    }
    EXPECT_EQ(accepted, 1);
    // Random headers that pass the fixed tests and the CRC.
    std::mt19937 rng(77);
    for (int i = 0; i < 300; ++i) {
        std::uint32_t size = 84 + rng() % 300;
        Bytes f = randomBytes(size + rng() % 20000, rng());
        f[64] = f[65] = 0;
        f[66] = static_cast<std::uint8_t>(size >> 8);
        f[67] = static_cast<std::uint8_t>(size);
        f[70] = static_cast<std::uint8_t>(rng() % 17);
        f[71] = EMD_DISTANCES;
        f[72] = f[73] = f[74] = 0;
        f[75] = static_cast<std::uint8_t>(rng() % 30);
        f[76] = 0x00, f[77] = 0x40, f[78] = 0x01, f[79] = 0xF5;
        std::uint32_t crc = emdCrc(f.data(), size - 4);
        for (int k = 0; k < 4; ++k)
            f[size - 4 + k] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
        readAll(f);
    }
}

TEST(EgtbFuzz, FlippedAndRandomBlockBytesGiveValuesOrNoInformation) {
    RegistryScope scope;
    TableDir dir;
    const Bytes data = sampleTable();
    const Bytes good = compressTable(data.data(), data.size());
    const std::uint32_t s = infoSize(good);
    std::mt19937 rng(99);
    for (int round = 0; round < 120; ++round) {
        Bytes f = good;
        if (round % 3 == 2) {
            for (std::size_t i = s; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(rng());
        } else {
            for (int n = 0; n <= round % 3; ++n)
                f[s + rng() % (f.size() - s)] ^= static_cast<std::uint8_t>(1 << rng() % 8);
        }
        if (round % 10 == 9) f.resize(s + rng() % (f.size() - s)); // cut after the header
        dir.write("kqk.nbw.emd", f);
        initEgtb(dir.path().c_str(), 1, true);
        for (std::uint32_t i = 0; i < data.size(); i += 97) {
            std::int32_t v = probeValue(KQK, 0, i);
            ASSERT_TRUE(v == VALUE_BROKEN || v == 0 || std::abs(v) > 32000) << v;
        }
    }
}

} // namespace
