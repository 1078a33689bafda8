// Developer tool: what a GUI never asks, run from the command line.
//   tarvok-dev perft DEPTH FEN   leaf counts of the legal move tree
//   tarvok-dev eval FEN          the evaluation term by term, then "eval S"
//   tarvok-dev search FEN depth D | movetime MS   a root search with its thinking lines
//   tarvok-dev san FEN SAN...    SAN moves in coordinate form
//   tarvok-dev probe FEN         the tablebase score of the position
//   tarvok-dev signature [FILE]  the fixed-depth search table and its node sum
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/board.h"
#include "board/perft.h"
#include "board/tables.h"
#include "tools/dev_commands.h"

namespace {

const char* const USAGE =
    "usage: tarvok-dev perft DEPTH FEN\n"
    "       tarvok-dev eval FEN\n"
    "       tarvok-dev search FEN depth D | movetime MS\n"
    "       tarvok-dev san FEN SAN...\n"
    "       tarvok-dev probe FEN\n"
    "       tarvok-dev signature [FILE]\n"
    "       tarvok-dev makebook OUT.ctg [--plies N] [--min-games K] FILE...\n"
    "       tarvok-dev selfplay GAMES SEED DEPTH OUT.pgn\n"
    "       tarvok-dev bookprobe BOOK FEN | bookkey FEN | bookscan BOOK FILE\n";
constexpr int MAX_PERFT_DEPTH = 20;

int usage() {
    std::fputs(USAGE, stderr);
    return 2;
}

// Coordinate form with an upper-case promotion letter, e.g. e7e8Q.
std::string moveText(Move m) {
    static const char promoLetters[] = " NBRQ";
    std::string s;
    int from = moveFrom(m), to = moveTo(m), promo = movePromo(m);
    s += fileChar(from);
    s += rankChar(from);
    s += fileChar(to);
    s += rankChar(to);
    if (promo >= KNIGHT && promo <= QUEEN) s += promoLetters[promo];
    return s;
}

// FEN words come as separate arguments when the caller does not quote them.
std::string joinWords(int argc, char** argv, int first) {
    std::string text;
    for (int i = first; i < argc; ++i) {
        if (i > first) text += ' ';
        text += argv[i];
    }
    return text;
}

int runPerft(int argc, char** argv) {
    if (argc < 4) return usage();
    char* end = nullptr;
    long depth = std::strtol(argv[2], &end, 10);
    if (end == argv[2] || *end || depth < 1 || depth > MAX_PERFT_DEPTH) return usage();
    std::string fen = joinWords(argc, argv, 3);

    Board board;
    initBoardTables(nullptr, board);
    setFromFen(board, fen.c_str());

    Move moves[MOVELIST_CAPACITY];
    U64 counts[MOVELIST_CAPACITY];
    auto start = std::chrono::steady_clock::now();
    int n = perftDivide(board, static_cast<int>(depth), moves, counts);
    auto elapsed = std::chrono::steady_clock::now() - start;

    U64 nodes = 0;
    for (int i = 0; i < n; ++i) {
        std::printf("%s: %llu\n", moveText(moves[i]).c_str(),
                    static_cast<unsigned long long>(counts[i]));
        nodes += counts[i];
    }
    long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    long long ms = ns / 1000000;
    unsigned long long nps =
        ns > 0 ? static_cast<unsigned long long>(static_cast<double>(nodes) * 1e9 / ns) : 0;
    std::printf("nodes %llu time_ms %lld nps %llu\n", static_cast<unsigned long long>(nodes), ms,
                nps);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "perft") == 0) return runPerft(argc, argv);
    if (std::strcmp(argv[1], "eval") == 0) return devEval(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "search") == 0) return devSearch(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "san") == 0) return devSan(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "probe") == 0) return devProbe(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "signature") == 0) return devSignature(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "makebook") == 0) return devMakeBook(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "selfplay") == 0) return devSelfPlay(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "bookprobe") == 0) return devBookProbe(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "bookkey") == 0) return devBookKey(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "bookscan") == 0) return devBookScan(argc - 1, argv + 1);
    return usage();
}
