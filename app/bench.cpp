// The xboard developer commands on the front end's side: the two speed
// benchmarks, which hand game-move searches to the controller and wait for
// each, and the hand-over of the tools the controller runs on its own.
#include <cstdint>

#include "app/game_controller.h"
#include "app/output.h"
#include "app/position_check.h"
#include "search/timecontrol.h"
#include "tools/tool_search.h"

namespace {

// Middlegame positions of the built-in benchmark, searched in this order.
const char* const BENCH_POSITIONS[] = {
    "r2q1rk1/1pp1bppp/2n1bn2/p1P1p3/3pP3/P2P1N2/1PQNBPPP/1RB2RK1 b - -",
    "r2qr1k1/p1pbbppp/2p5/3n4/Q3N3/3B4/PPP2PPP/R1B1R1K1 w - - 7 13 ",
    "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12",
};

constexpr const char* BENCH_SPEED_FILE = "!benchSpeed.txt";
constexpr int BENCH_SPEED_LIMIT_MS = 1000000;

std::int64_t speed(std::int64_t nodes, std::int32_t ms) {
    return ms > 0 ? nodes / ms : 0;
}

// Pondering off and the benchmark's depth while it runs; both put back.
class BenchSettings {
  public:
    BenchSettings(SharedState& s, int depth)
        : s_(s), ponder_(sharedLoad(s.ponderEnabled)), maxDepth_(sharedLoad(s.maxDepth)) {
        sharedStore(s.ponderEnabled, 0);
        sharedStore(s.maxDepth, static_cast<std::int32_t>(depth));
    }
    ~BenchSettings() {
        sharedStore(s_.maxDepth, maxDepth_);
        sharedStore(s_.ponderEnabled, ponder_);
    }
    BenchSettings(const BenchSettings&) = delete;
    BenchSettings& operator=(const BenchSettings&) = delete;

  private:
    SharedState& s_;
    std::int32_t ponder_;
    std::int32_t maxDepth_;
};

} // namespace

bool GameController::toolRunning() const {
    const std::int32_t task = sharedLoad(pShared->allSearchprocesEnabled);
    return searchState != 0 &&
           (task == TASK_TUNE || task == TASK_TUNE_VARIANT || task == TASK_EPD_SUITE);
}

void GameController::startToolTask(int code, int argument) {
    stopSearch();
    sharedStore(pShared->toolArgument, static_cast<std::int32_t>(argument));
    handOver(code);
    searchState = 1;
}

bool GameController::benchPosition(const char* fen, int limitMs, std::int64_t& nodes) {
    if (!setPosition(fen)) {
        sayIllegalPosition(fen);
        return false;
    }
    clearTables();
    SharedState& s = *pShared;
    s.timer1.setLimit(limitMs);
    s.timer1.start();
    // Only this search's move may be left for the game's board.
    sharedStore(s.engineMove, NO_MOVE);
    handOver(TASK_THINK);
    searchState = 1;
    awaitTaskEnd();
    searchState = 0;
    nodes += static_cast<std::uint32_t>(sharedLoad(s.nodeCount));
    nodes += static_cast<std::uint32_t>(sharedLoad(s.quiescenceNodeCount));
    return true;
}

void GameController::bench(int depth, int limitMs) {
    stopSearch();
    Stopwatch watch{};
    watch.start();
    BenchSettings settings(*pShared, depth);
    std::int64_t nodes = 0;
    for (const char* fen : BENCH_POSITIONS) benchPosition(fen, limitMs, nodes);
    const std::int32_t ms = watch.elapsed();
    say("nodes=%lld time=%d.ms speed=%lld.kNPS\n", static_cast<long long>(nodes), ms,
        static_cast<long long>(speed(nodes, ms)));
}

void GameController::benchSpeed(int depth) {
    stopSearch();
    Stopwatch watch{};
    watch.start();
    BenchSettings settings(*pShared, depth);
    std::int64_t nodes = 0;
    ToolInput positions(BENCH_SPEED_FILE);
    if (!positions.isOpen()) {
        say("No %s file found.\n", BENCH_SPEED_FILE);
        say("(Put your fen-positions there).\n");
    }
    while (const char* line = positions.nextLine()) {
        if (line[0] == '-' || line[0] == '+' || isBlankLine(line)) continue;
        benchPosition(line, BENCH_SPEED_LIMIT_MS, nodes);
    }
    const std::int32_t ms = watch.elapsed();
    say("depth=%d nodes=%lld Mnodes=%lld time=%d.ms speed=%lld.kNPS\n", depth,
        static_cast<long long>(nodes), static_cast<long long>(nodes / 1000000), ms,
        static_cast<long long>(speed(nodes, ms)));
}
