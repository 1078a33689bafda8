// Evaluations per second over a fixed corpus: the full evaluation (no hash,
// a window the lazy cut-off never leaves), the lazy cut-off alone with
// windows around each position's score, and the lazy cut-off with the hash.
#include <benchmark/benchmark.h>

#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/evalhash.h"
#include "eval/evaluate.h"
#include "eval/trace.h"

namespace {

// Openings, middle games and endings; the corpus adds the positions of a
// fixed pseudo-random game of 24 plies from each.
const char* const SEEDS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "1k1r4/pp1b1R2/3q2pp/4p3/2B5/4Q3/PPP2B2/2K5 b - - 0 1",
    "3r1k2/4npp1/1ppr3p/p6P/P2PPPP1/1NR5/5K2/2R5 w - - 0 1",
    "2q1rr1k/3bbnnp/p2p1pp1/2pPp3/PpP1P1P1/1P2BNNP/2BQ1PRK/7R b - - 0 1",
    "rnbqkb1r/p3pppp/1p6/2ppP3/3N4/2P5/PPP1QPPP/R1B1KB1R w KQkq - 0 1",
    "r1b2rk1/2q1b1pp/p2ppn2/1p6/3QP3/1BN1B3/PPP3PP/R4RK1 w - - 0 1",
    "2r3k1/pppR1pp1/4p3/4P1P1/5P2/1P4K1/P1P5/8 w - - 0 1",
    "1nk1r1r1/pp2n1pp/4p3/q2pPp1N/b1pP1P2/B1P2R2/2P1B1PP/R2Q2K1 w - - 0 1",
    "4b3/p3kp2/6p1/3pP2p/2pP1P2/4K1P1/P3N2P/8 w - - 0 1",
    "2kr1bnr/pbpq4/2n1pp2/3p3p/3P1P1B/2N2N1Q/PPP3PP/2KR1B1R w - - 0 1",
    "3rr1k1/pp3pp1/1qn2np1/8/3p4/PP1R1P2/2P1NQPP/R1B3K1 b - - 0 1",
    "2r1nrk1/p2q1ppp/bp1p4/n1pPp3/P1P1P3/2PBB1N1/4QPPP/R4RK1 w - - 0 1",
    "r3r1k1/ppqb1ppp/8/4p1NQ/8/2P5/PP3PPP/R3R1K1 b - - 0 1",
    "r2q1rk1/4bppp/p2p4/2pP4/3pP3/3Q4/PP1B1PPP/R3R1K1 w - - 0 1",
    "rnb2r1k/pp2p2p/2pp2p1/q2P1p2/8/1Pb2NP1/PB2PPBP/R2Q1RK1 w - - 0 1",
    "2r3k1/1p2q1pp/2b1pr2/p1pp4/6Q1/1P1PP1R1/P1PN2PP/5RK1 w - - 0 1",
    "r1bqkb1r/4npp1/p1p4p/1p1pP1B1/8/1B6/PPPN1PPP/R2Q1RK1 w kq - 0 1",
    "r2q1rk1/1ppnbppp/p2p1nb1/3Pp3/2P1P1P1/2N2N1P/PPB1QP2/R1B2RK1 b - - 0 1",
    "r1bq1rk1/pp2ppbp/2np2p1/2n5/P3PP2/N1P2N2/1PB3PP/R1B1QRK1 b - - 0 1",
    "3rr3/2pq2pk/p2p1pnp/8/2QBPP2/1P6/P5PP/4RRK1 b - - 0 1",
    "r4k2/pb2bp1r/1p1qp2p/3pNp2/3P1P2/2N3P1/PPP1Q2P/2KRR3 w - - 0 1",
    "8/8/3k4/3p4/3P4/3K4/8/8 w - - 0 1",
    "8/5pk1/6p1/8/8/6P1/5PK1/8 w - - 0 1",
    "8/8/1p6/1P1k4/8/4K3/8/8 w - - 0 1",
    "6k1/5ppp/8/8/8/8/r4PPP/1R4K1 w - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1",
};

struct Corpus {
    std::vector<Board> boards;
    std::vector<int> scores; // full evaluation, side to move's view
};

const Corpus& corpus() {
    static Corpus c = [] {
        static OrderingTables ordering;
        Board board;
        initBoardTables(&ordering, board);
        initEvaluation(nullptr);
        Corpus out;
        unsigned x = 12345;
        for (const char* fen : SEEDS) {
            setFromFen(board, fen);
            out.boards.push_back(board);
            for (int ply = 0; ply < 24; ++ply) {
                Move moves[MOVELIST_CAPACITY];
                const int n = generateLegal(board, moves);
                if (n == 0) break;
                x = x * 1103515245u + 12345u;
                makeMove(board, moves[(x >> 8) % n]);
                out.boards.push_back(board);
            }
        }
        for (Board& b : out.boards) out.scores.push_back(evaluate(b, -16000, 16000));
        return out;
    }();
    return c;
}

void BM_EvaluateFull(benchmark::State& state) {
    std::vector<Board> boards = corpus().boards;
    initEvaluation(nullptr);
    for (auto _ : state) {
        for (Board& b : boards) benchmark::DoNotOptimize(evaluate(b, -16000, 16000));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(boards.size()));
}
BENCHMARK(BM_EvaluateFull);

// Windows one pawn wide at offsets from the true score, as a search passes them.
void evaluateInWindows(benchmark::State& state, std::vector<Board>& boards) {
    static const int offsets[] = {-400, -150, -40, 0, 40, 150, 400};
    const std::vector<int>& scores = corpus().scores;
    size_t k = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < boards.size(); ++i) {
            const int alpha = scores[i] + offsets[k++ % 7];
            benchmark::DoNotOptimize(evaluate(boards[i], alpha, alpha + 100));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(boards.size()));
}

void BM_EvaluateLazy(benchmark::State& state) {
    std::vector<Board> boards = corpus().boards;
    initEvaluation(nullptr);
    evaluateInWindows(state, boards);
}
BENCHMARK(BM_EvaluateLazy);

void BM_EvaluateLazyAndHash(benchmark::State& state) {
    std::vector<Board> boards = corpus().boards;
    static std::vector<U64> entries(EvalHash::entriesForSetting(16));
    EvalHash hash;
    hash.attach(entries.data(), entries.size());
    hash.clear();
    initEvaluation(&hash);
    evaluateInWindows(state, boards);
    initEvaluation(nullptr);
}
BENCHMARK(BM_EvaluateLazyAndHash);

} // namespace

BENCHMARK_MAIN();
