// Differential perft against Debian's stockfish: positions reached by seeded
// random play from the start and from positions full of castling, en-passant
// and promotion cases; perft 3 is compared per root move. One stockfish
// process serves all positions; it is killed when the test ends, also when
// the test fails, and it ends at the end of its input if the test crashes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "board/notation.h"
#include "board/perft.h"
#include "board_fixture.h"
#include "engine_driver.h"

namespace {

std::string findStockfish() {
    if (access("/usr/games/stockfish", X_OK) == 0) return "/usr/games/stockfish";
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/stockfish").c_str(), X_OK) == 0)
            return dir + "/stockfish";
    return "";
}

using namespace testing_engine;
constexpr Duration kTimeout = 5000ms;

// Root move (lower-case promotion letter) -> leaves below it.
using Divide = std::map<std::string, long long>;

bool stockfishDivide(EngineProcess& sf, const std::string& fen, int depth, Divide& divide,
                     long long& total, std::string& error) {
    sf.send("position fen " + fen);
    sf.send("go perft " + std::to_string(depth));
    while (auto next = sf.readLine(kTimeout)) {
        const std::string& line = *next;
        if (line.rfind("Nodes searched:", 0) == 0) {
            total = std::atoll(line.c_str() + 15);
            return true;
        }
        size_t colon = line.find(": ");
        if (colon >= 4 && colon <= 5 && line.find(' ') == colon + 1)
            divide[line.substr(0, colon)] = std::atoll(line.c_str() + colon + 2);
    }
    error = "stockfish gave no \"Nodes searched\" line (it died or timed out)";
    return false;
}

Divide ownDivide(const Board& b, int depth) {
    Move moves[MOVELIST_CAPACITY];
    U64 counts[MOVELIST_CAPACITY];
    Divide divide;
    char buf[MOVE_TEXT_SIZE];
    for (int i = 0, n = perftDivide(b, depth, moves, counts); i < n; ++i)
        divide[formatMove(moves[i], buf, true)] = static_cast<long long>(counts[i]);
    return divide;
}

std::string compare(const Divide& ours, const Divide& theirs) {
    std::string d;
    for (const auto& [move, n] : theirs) {
        auto it = ours.find(move);
        if (it == ours.end())
            d += "  missing " + move + " (stockfish " + std::to_string(n) + ")\n";
        else if (it->second != n)
            d += "  " + move + ": ours " + std::to_string(it->second) + ", stockfish " +
                 std::to_string(n) + "\n";
    }
    for (const auto& [move, n] : ours)
        if (!theirs.count(move)) d += "  extra " + move + " (ours " + std::to_string(n) + ")\n";
    return d;
}

// Positions full of the special moves, most of them from the perft literature.
const char* const kRichFens[] = {
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
    "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
    "r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1",
    "rnbqkbnr/pp1p1ppp/8/2pPp3/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 3",
    "8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1",
    "8/8/8/KPp4r/8/8/8/7k w - c6 0 1",
    "8/8/4k3/8/2pPp3/8/B7/7K b - d3 0 1",
    "rnbqkb1r/ppppp1pp/7n/4Pp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "r1bqkbnr/pPpppppp/8/8/8/8/1PPPPPpP/RNBQKBNR w KQkq - 0 5",
    "8/PPPPk3/8/8/8/8/3Kpppp/8 w - - 0 1",
};

TEST(StockfishDifferential, PerftThreeByRootMove) {
    const std::string path = findStockfish();
    ASSERT_FALSE(path.empty()) << "stockfish is not installed (looked for /usr/games/stockfish "
                                  "and on PATH); install it with: apt-get install -y stockfish";
    ScratchDir dir;
    EngineProcess sf(dir.path(), {}, 0, path);
    sf.send("uci");
    ASSERT_TRUE(sf.expectLine("uciok", kTimeout)) << path;

    // The positions: random walks of random length from each start.
    std::vector<std::string> starts;
    for (int i = 0; i < 100; ++i) starts.push_back(START_FEN);
    for (int i = 0; i < 8; ++i)
        for (const char* fen : kRichFens) starts.push_back(fen);
    const std::vector<std::string> suite = perftSuiteFens();
    for (size_t i = 0; i < suite.size(); i += 3) starts.push_back(suite[i]);

    int compared = 0;
    std::mt19937 rng(20240611);
    for (const std::string& start : starts) {
        Board b = boardFrom(start);
        const int plies = static_cast<int>(rng() % 24);
        for (int p = 0; p < plies; ++p) {
            Move m = randomLegalMove(b, rng);
            if (m == NO_MOVE) break;
            Board next = after(b, m);
            if (legalMoves(next).empty()) break; // keep positions with moves
            b = next;
        }
        const std::string fen = fenOf(b);
        Divide theirs;
        long long theirTotal = 0;
        std::string error;
        ASSERT_TRUE(stockfishDivide(sf, fen, 3, theirs, theirTotal, error))
            << error << "\n  " << fen;
        const Divide ours = ownDivide(b, 3);
        long long ourTotal = 0;
        for (const auto& entry : ours) ourTotal += entry.second;
        const std::string diff = compare(ours, theirs);
        ASSERT_TRUE(diff.empty() && ourTotal == theirTotal)
            << "perft 3 differs from stockfish for " << fen << " (started from " << start << ")\n"
            << diff << "  total: ours " << ourTotal << ", stockfish " << theirTotal;
        ++compared;
    }
    EXPECT_GE(compared, 200);
    sf.send("quit");
}

} // namespace
