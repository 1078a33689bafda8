// Tablebase reads: probes per second from a plain and from a compressed file,
// cold (a fresh cache, every probe a new block) and warm (the same probes
// again, all cached); blocks decoded per second; and the writer's ratio on
// table-like data (counter "ratio" = compressed size / plain size).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb/emd.h"
#include "egtb/tables.h"
#include "tools/emd_writer.h"

namespace {

constexpr int KQK = 5;
constexpr std::uint32_t BLOCKS = 1500;
constexpr std::int64_t CACHE_MB = 16; // room for every block

// Values of a made-up table: long stretches of draws and of slowly changing
// distances, as real tables have.
std::vector<std::uint8_t> tableLikeData(std::size_t size) {
    std::vector<std::uint8_t> d(size);
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245 + 12345;
        std::size_t row = i / 64;
        if (row % 5 == 0)
            d[i] = 0;
        else if ((x >> 16) % 9 == 0)
            d[i] = static_cast<std::uint8_t>(256 - 1 - (x >> 20) % 30);
        else
            d[i] = static_cast<std::uint8_t>(1 + (row % 37) + (i % 64 < 8));
    }
    return d;
}

struct Files {
    std::string dir;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> packed;
    Files() {
        char tmpl[] = "/tmp/tarvok-egtb-bench-XXXXXX";
        dir = mkdtemp(tmpl);
        data = tableLikeData(std::size_t{BLOCKS} * EMD_BLOCK_SIZE);
        packed = compressTable(data.data(), data.size());
        std::ofstream(dir + "/kqk.nbw", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
        std::ofstream(dir + "/kqk.nbb.emd", std::ios::binary)
            .write(reinterpret_cast<const char*>(packed.data()), static_cast<long>(packed.size()));
        initEgtb(dir.c_str(), CACHE_MB, true);
    }
    ~Files() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};
Files& files() {
    static Files f;
    return f;
}

// Index of probe i: a different block each time, at a varying offset.
std::uint32_t probeIndex(std::uint32_t i) {
    return (i % BLOCKS) * EMD_BLOCK_SIZE + (i * 2654435761u >> 19);
}

void probes(benchmark::State& state, int side, bool warm) {
    files();
    std::uint32_t i = 0;
    std::int64_t sum = 0;
    emptyCache();
    if (warm)
        for (std::uint32_t k = 0; k < BLOCKS; ++k) sum += probeValue(KQK, side, probeIndex(k));
    for (auto _ : state) {
        if (!warm && i % BLOCKS == 0) {
            state.PauseTiming();
            emptyCache();
            state.ResumeTiming();
        }
        sum += probeValue(KQK, side, probeIndex(i++));
    }
    benchmark::DoNotOptimize(sum);
    state.counters["probes/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ProbePlainCold(benchmark::State& s) {
    probes(s, 0, false);
}
void BM_ProbePlainWarm(benchmark::State& s) {
    probes(s, 0, true);
}
void BM_ProbeCompressedCold(benchmark::State& s) {
    probes(s, 1, false);
}
void BM_ProbeCompressedWarm(benchmark::State& s) {
    probes(s, 1, true);
}

void BM_DecodeBlock(benchmark::State& state) {
    const Files& f = files();
    int fd = openTableFile((f.dir + "/kqk.nbb.emd").c_str());
    EmdInfo* info = nullptr;
    if (readCompressedHeader(fd, &info) != EMD_OK) {
        state.SkipWithError("header");
        return;
    }
    static std::uint8_t out[EMD_DATA_AREA];
    std::uint32_t k = 0, decoded = 0;
    for (auto _ : state) {
        std::uint64_t at = info->blockOffsets[k], size = info->blockOffsets[k + 1] - at;
        if (size < EMD_BLOCK_SIZE)
            decoded += decodeBlock(*info, f.packed.data() + at, static_cast<std::uint32_t>(size),
                                   out, EMD_BLOCK_SIZE);
        k = (k + 1) % (info->blockCount - 1);
    }
    state.counters["blocks/s"] =
        benchmark::Counter(static_cast<double>(decoded), benchmark::Counter::kIsRate);
    freeEmdInfo(info);
}

void BM_Compress(benchmark::State& state) {
    const std::vector<std::uint8_t> data = tableLikeData(64 * EMD_BLOCK_SIZE);
    std::size_t packed = 0;
    for (auto _ : state) packed = compressTable(data.data(), data.size()).size();
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(data.size());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

} // namespace

BENCHMARK(BM_ProbePlainCold);
BENCHMARK(BM_ProbePlainWarm);
BENCHMARK(BM_ProbeCompressedCold);
BENCHMARK(BM_ProbeCompressedWarm);
BENCHMARK(BM_DecodeBlock);
BENCHMARK(BM_Compress);
BENCHMARK_MAIN();
