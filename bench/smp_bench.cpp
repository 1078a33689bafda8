// Speed of the shared-memory pieces: an event signalled by one process and
// answered by another, and transposition-table probes and stores.
#include <benchmark/benchmark.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "search/tt.h"
#include "smp/platform.h"

namespace {

// One round trip: this process signals "ping", a second process waiting on
// it signals "pong", and this process wakes on "pong".
void BM_EventRoundTrip(benchmark::State& state) {
    platform::createInstance("bench");
    platform::NamedEvent ping, pong;
    if (!ping.create("ping") || !pong.create("pong")) {
        state.SkipWithError("cannot create the events");
        return;
    }
    pid_t child = fork();
    if (child == 0) {
        platform::NamedEvent p, q;
        if (!p.open("ping") || !q.open("pong")) _exit(1);
        for (;;) {
            p.wait(platform::NO_TIMEOUT);
            q.signal();
        }
    }
    for (auto _ : state) {
        ping.signal();
        pong.wait(platform::NO_TIMEOUT);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    platform::removeInstanceObjects(platform::instanceId());
}
BENCHMARK(BM_EventRoundTrip)->UseRealTime();

struct KeyStream {
    U64 x = 0x9E3779B97F4A7C15ULL;
    U64 next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    }
};

// A 32 MiB table (the default size), filled, then probed or stored into at
// random positions, as a search does once the table is larger than the caches.
struct FilledTable {
    std::vector<TTEntry> memory = std::vector<TTEntry>(TranspositionTable::DEFAULT_ENTRIES);
    TranspositionTable tt;
    FilledTable() {
        tt.attach(memory.data(), memory.size());
        KeyStream keys;
        for (std::size_t i = 0; i < memory.size(); ++i)
            tt.store(keys.next(), static_cast<int>(i % 20), 0, static_cast<int>(i % 500), TT_LOWER,
                     static_cast<Move>(i));
    }
};

void BM_TTProbe(benchmark::State& state) {
    static FilledTable table;
    KeyStream keys;
    int sum = 0;
    for (auto _ : state) {
        U64 k = keys.next();
        sum += table.tt.probe(k, 5, -100, 100);
        sum += table.tt.bestMove(k ^ 1);
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_TTProbe);

void BM_TTStore(benchmark::State& state) {
    static FilledTable table;
    KeyStream keys;
    int i = 0;
    for (auto _ : state) {
        ++i;
        table.tt.store(keys.next(), i & 31, i >> 10, i & 1023, i % 3, static_cast<Move>(i));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TTStore);

} // namespace

BENCHMARK_MAIN();
