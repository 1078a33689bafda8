// Book lookups on the shipped book (build/bookTarvok.ctg): findEntry hits
// and misses, and whole probes (a lookup for the position and one for each
// stored move), per second, with the files each opens.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "book/ctg_lookup.h"
#include "book/tarvok_book.h"

namespace {

const std::string BOOK = std::string(TARVOK_BINARY_DIR) + "/bookTarvok.ctg";

// Positions of the book (the start and every position one or two plies on
// that the book holds) and positions it does not hold.
struct Sample {
    std::vector<BookBoard> hits, misses;
    std::vector<std::string> hitFens;
};

const Sample& sample() {
    static Sample s = [] {
        Sample s;
        Board b;
        initBoardTables(nullptr, b);
        setStartPosition(b);
        BookOutput quiet{stderr, ""};
        Move first[MOVELIST_CAPACITY], second[MOVELIST_CAPACITY];
        const int n = generateLegal(b, first);
        for (int i = 0; i < n; ++i) {
            Board c = b;
            makeMove(c, first[i]);
            const int m = generateLegal(c, second);
            for (int j = 0; j < m; ++j) {
                Board d = c;
                makeMove(d, second[j]);
                char fen[FEN_BUFFER_SIZE];
                writeFen(d, fen);
                BookBoard bb;
                readFen(fen, bb, quiet);
                BookEntry e;
                if (findEntry(BOOK.c_str(), bb, e)) {
                    s.hits.push_back(bb);
                    s.hitFens.push_back(fen);
                } else {
                    s.misses.push_back(bb);
                }
            }
        }
        return s;
    }();
    return s;
}

void lookups(benchmark::State& state, const std::vector<BookBoard>& boards) {
    if (boards.empty()) {
        state.SkipWithError("no positions (is build/bookTarvok.ctg there?)");
        return;
    }
    BookEntry e;
    std::size_t i = 0;
    const long long opened = bookFilesOpened();
    for (auto _ : state) {
        benchmark::DoNotOptimize(findEntry(BOOK.c_str(), boards[i], e));
        if (++i == boards.size()) i = 0;
    }
    state.counters["lookups/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["files/lookup"] =
        static_cast<double>(bookFilesOpened() - opened) / static_cast<double>(state.iterations());
}

void BM_FindEntryHit(benchmark::State& state) {
    lookups(state, sample().hits);
}
void BM_FindEntryMiss(benchmark::State& state) {
    lookups(state, sample().misses);
}

void BM_ProbeBook(benchmark::State& state) {
    const auto& fens = sample().hitFens;
    if (fens.empty()) {
        state.SkipWithError("no positions");
        return;
    }
    TarvokBook book(1);
    book.setBookPath(BOOK.c_str());
    std::FILE* sink = std::fopen("/dev/null", "w");
    book.setOutput(BookOutput{sink, ""});
    std::size_t i = 0;
    const long long opened = bookFilesOpened();
    for (auto _ : state) {
        char text[BOOK_MOVE_TEXT_SIZE] = "";
        benchmark::DoNotOptimize(book.probeBook(fens[i].c_str(), text));
        if (++i == fens.size()) i = 0;
    }
    std::fclose(sink);
    state.counters["probes/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["files/probe"] =
        static_cast<double>(bookFilesOpened() - opened) / static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(BM_FindEntryHit);
BENCHMARK(BM_FindEntryMiss);
BENCHMARK(BM_ProbeBook);
BENCHMARK_MAIN();
