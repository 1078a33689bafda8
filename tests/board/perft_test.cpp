// Perft counts of the reference suite: the generators, make-move and the
// legality test together against known leaf counts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/perft.h"
#include "board_fixture.h"

namespace {

struct SuiteEntry {
    std::string fen;
    std::vector<unsigned long long> counts; // counts[d - 1] = perft(d)
};

// Lines look like "FEN ;D1 20 ;D2 400 ...".
std::vector<SuiteEntry> loadSuite() {
    std::vector<SuiteEntry> out;
    std::ifstream in(std::string(TARVOK_DATA_DIR) + "/perftsuite.epd");
    std::string line;
    while (std::getline(in, line)) {
        std::size_t semi = line.find(';');
        if (semi == std::string::npos) continue;
        SuiteEntry e;
        e.fen = line.substr(0, semi);
        std::istringstream fields(line.substr(semi));
        std::string tag;
        unsigned long long n;
        while (fields >> tag >> n) e.counts.push_back(n);
        out.push_back(e);
    }
    return out;
}

// The plain definition: generateLegal at every ply, no bulk counting.
unsigned long long perftByLegalList(const Board& b, int depth) {
    if (depth == 0) return 1;
    Move moves[MOVELIST_CAPACITY];
    int n = generateLegal(b, moves);
    unsigned long long total = 0;
    for (int i = 0; i < n; ++i) {
        Board child = b;
        makeMove(child, moves[i]);
        total += perftByLegalList(child, depth - 1);
    }
    return total;
}

void checkSuite(int depth, bool bulk) {
    ensureBoardTables();
    std::vector<SuiteEntry> suite = loadSuite();
    ASSERT_GE(suite.size(), 100u) << "perftsuite.epd missing or unreadable";
    for (const SuiteEntry& e : suite) {
        if (static_cast<int>(e.counts.size()) < depth) continue;
        Board b = boardFrom(e.fen);
        unsigned long long got = bulk ? perft(b, depth) : perftByLegalList(b, depth);
        EXPECT_EQ(got, e.counts[depth - 1]) << e.fen << " depth " << depth;
    }
}

} // namespace

TEST(PerftSuite, EveryPositionDepth3WithLegalListsAtEveryPly) {
    checkSuite(3, false);
}

TEST(PerftSuite, EveryPositionDepth4) {
    checkSuite(4, true);
}

TEST(PerftSuite, EveryPositionDepth5) {
    checkSuite(5, true);
}

TEST(PerftDivide, RootMovesComeInLegalOrderAndSumToPerft) {
    Board b = boardFrom("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    Move moves[MOVELIST_CAPACITY];
    U64 counts[MOVELIST_CAPACITY];
    int n = perftDivide(b, 3, moves, counts);
    Move legal[MOVELIST_CAPACITY];
    ASSERT_EQ(n, generateLegal(b, legal));
    unsigned long long sum = 0;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(moves[i], legal[i]);
        sum += counts[i];
    }
    EXPECT_EQ(sum, 97862u);
}

TEST(CountLegalMoves, OddPositionsGoThroughTheGenerator) {
    // No white king, two black kings: counted by the generator, no crash.
    for (const char* fen : {"8/8/8/3k4/8/8/8/8 w - - 0 1", "k6k/8/8/8/8/8/8/K7 b - - 0 1",
                            "8/8/8/8/8/8/8/8 w - - 0 1"}) {
        Board b = boardFrom(fen);
        Move moves[MOVELIST_CAPACITY];
        EXPECT_EQ(countLegalMoves(b), generateLegal(b, moves)) << fen;
    }
}
