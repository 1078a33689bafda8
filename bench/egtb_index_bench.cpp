// Index functions and probes of generated tables: index calls per second
// (kqkr, kpkp, kbnk, both sides), and probes of kqkr cold (a fresh cache, each
// probe a new block) and warm (the same probes again) from the tables in
// $TARVOK_TABLES (made by tarvok-tbgen; plain and, with -c, compressed), with
// the compression ratio of kqkr.nbw when both forms are there.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "board/tables.h"
#include "egtb/egtb.h"
#include "egtb/index.h"
#include "egtb/tables.h"

namespace {

constexpr int KPKP = 6, KQKR = 19, KBNK = 25;

struct Sample {
    PieceSet a, b;
};

std::vector<Sample> samples(int firstKind, int secondKind) {
    std::mt19937 rng(3);
    std::vector<Sample> out;
    while (out.size() < 4096) {
        Sample s{};
        s.a.king = int(rng() % 64);
        s.b.king = int(rng() % 64);
        s.a.squares[firstKind][0] = int(8 + rng() % 48);
        s.b.squares[secondKind][0] = int(8 + rng() % 48);
        out.push_back(s);
    }
    return out;
}

void indexCalls(benchmark::State& state, int id, int first, int second) {
    initIndexFunctions();
    auto s = samples(first, second);
    std::size_t i = 0;
    std::uint64_t sum = 0;
    for (auto _ : state) {
        const Sample& x = s[i++ & 4095];
        sum += tableIndex(id, int(i & 1), x.a, x.b, 127, 0);
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(indexCalls, kqkr, KQKR, 4, 3);
BENCHMARK_CAPTURE(indexCalls, kbnk, KBNK, 2, 1);
BENCHMARK_CAPTURE(indexCalls, kpkp, KPKP, 0, 0);

// kqkr positions spread over the table: one per block of the file.
std::vector<Board> kqkrBoards() {
    std::vector<Board> out;
    std::mt19937 rng(5);
    Board b;
    initBoardTables(nullptr, b);
    while (out.size() < 150) {
        int s[4];
        for (int& x : s) x = int(rng() % 64);
        if (s[0] == s[1] || s[0] == s[2] || s[0] == s[3] || s[1] == s[2] || s[1] == s[3] ||
            s[2] == s[3])
            continue;
        std::string rows(64, '1');
        rows[s[0]] = 'K', rows[s[1]] = 'k', rows[s[2]] = 'Q', rows[s[3]] = 'r';
        std::string fen;
        for (int r = 0; r < 8; ++r) fen += rows.substr(8 * r, 8) + (r < 7 ? "/" : "");
        setFromFen(b, (fen + " w - - 0 1").c_str());
        int score;
        if (probeEgtb(b, score)) out.push_back(b);
    }
    return out;
}

void kqkrProbes(benchmark::State& state, bool compressed, bool warm) {
    const char* dir = std::getenv("TARVOK_TABLES");
    std::string only = std::string(dir ? dir : "") + (compressed ? "/c" : "");
    if (!dir || !std::filesystem::exists(only + "/kqkr.nbw" + (compressed ? ".emd" : ""))) {
        state.SkipWithError("set TARVOK_TABLES to a directory with kqkr (and c/ compressed)");
        return;
    }
    initEgtb(only.c_str(), 64, true);
    auto boards = kqkrBoards();
    std::size_t i = 0;
    int score = 0;
    for (auto _ : state) {
        if (!warm && i % boards.size() == 0) {
            state.PauseTiming();
            initEgtb(only.c_str(), 64, true); // an empty cache
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(probeEgtb(boards[i++ % boards.size()], score));
    }
    state.SetItemsProcessed(state.iterations());
    if (compressed) {
        auto plain = std::filesystem::file_size(std::string(dir) + "/kqkr.nbw");
        auto packed = std::filesystem::file_size(only + "/kqkr.nbw.emd");
        state.counters["ratio"] = double(packed) / double(plain);
    }
}
BENCHMARK_CAPTURE(kqkrProbes, plain_cold, false, false);
BENCHMARK_CAPTURE(kqkrProbes, plain_warm, false, true);
BENCHMARK_CAPTURE(kqkrProbes, compressed_cold, true, false);
BENCHMARK_CAPTURE(kqkrProbes, compressed_warm, true, true);

} // namespace

BENCHMARK_MAIN();
