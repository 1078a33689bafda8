// Index functions: every table side's range, pinned indices of the layouts
// (both sides, like pieces, en passant, the diagonal), symmetry images, and
// input no legal position gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "egtb/index.h"
#include "egtb/tables.h"

namespace {

constexpr int KPK = 1, KNK = 2, KQK = 5, KPKP = 6, KRKP = 12, KQKR = 19, KQKQ = 20, KPPK = 21,
              KNNK = 23, KBNK = 25, KPPKP = 36, KQRKR = 104, KQQKQQ = 178;
constexpr int P = 0, N = 1, B = 2, R = 3, Q = 4, NO_EP = 127;

PieceSet setOf(int king, std::initializer_list<std::pair<int, int>> pieces = {}) {
    PieceSet s{};
    int n[5] = {};
    for (auto [kind, sq] : pieces) s.squares[kind][n[kind]++] = sq;
    s.king = king;
    return s;
}

TEST(EgtbIndex, EveryTableSideRangeIsItsRegistryLength) {
    initIndexFunctions();
    for (int id = 1; id < TABLE_COUNT; ++id)
        for (int s = 0; s < ((tableRegistry[id].flags & TABLE_SYMMETRIC) ? 1 : 2); ++s)
            EXPECT_EQ(layoutLength(id, s), tableRegistry[id].knownLength[s])
                << tableRegistry[id].name << " side " << s;
    const std::uint32_t expected[][3] = {
        {KPK, 81664, 84012},         {KNK, 26282, 28644},
        {KQKQ, 1563735, 1563735},    {KPKP, 3863492, 3863492},
        {KPPKP, 84219361, 89391280}, {KQKR, 1563735, 1649196},
        {KBNK, 1550621, 1747284},    {KQQKQQ, 1237357440, 1237357440}};
    for (auto& e : expected)
        for (int s = 0; s < 2; ++s)
            EXPECT_EQ(tableRegistry[e[0]].knownLength[s], e[1 + s]) << tableRegistry[e[0]].name;
    // kppkp: the last value would need the black king in check.
    EXPECT_EQ(tableRegistry[KPPKP].knownLength[0], 1806671ull * 46 + 1806 * 616 - 1);
}

TEST(EgtbIndex, PinnedIndicesOfTheLayouts) {
    initIndexFunctions();
    struct Row {
        const char* what;
        int id, side;
        PieceSet first, second;
        int ep, invert;
        std::uint32_t index;
    };
    const Row rows[] = {
        {"kpk w", KPK, 0, setOf(3, {{P, 12}}), setOf(59), NO_EP, 0, 10488},
        {"kpk w, files exchanged", KPK, 0, setOf(4, {{P, 11}}), setOf(60), NO_EP, 0, 10488},
        {"kpk b", KPK, 1, setOf(3, {{P, 12}}), setOf(59), NO_EP, 0, 10855},
        {"kpk b, inverted", KPK, 1, setOf(59, {{P, 52}}), setOf(3), NO_EP, 1, 10855},
        {"knk b", KNK, 1, setOf(10, {{N, 30}}), setOf(40), NO_EP, 0, 6684},
        {"kbnk w", KBNK, 0, setOf(17, {{B, 20}, {N, 50}}), setOf(45), NO_EP, 0, 913216},
        {"kbnk b", KBNK, 1, setOf(17, {{B, 20}, {N, 50}}), setOf(45), NO_EP, 0, 1409479},
        {"kqkr w", KQKR, 0, setOf(2, {{Q, 30}}), setOf(44, {{R, 7}}), NO_EP, 0, 436888},
        {"kqkr b", KQKR, 1, setOf(2, {{Q, 30}}), setOf(44, {{R, 7}}), NO_EP, 0, 1534426},
        {"krkp w", KRKP, 0, setOf(2, {{R, 30}}), setOf(44, {{P, 21}}), NO_EP, 0, 439117},
        {"krkp b", KRKP, 1, setOf(2, {{R, 30}}), setOf(44, {{P, 21}}), NO_EP, 0, 1868636},
        {"kpkp b", KPKP, 1, setOf(1, {{P, 35}}), setOf(62, {{P, 36}}), NO_EP, 0, 250584},
        {"kpkp ep, higher file", KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 36}}), 44, 0,
         3839842},
        {"kpkp ep, lower file", KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 34}}), 42, 0, 3839834},
        {"kppk b", KPPK, 1, setOf(2, {{P, 20}, {P, 21}}), setOf(50), NO_EP, 0, 425344},
        {"kppkp b", KPPKP, 1, setOf(2, {{P, 20}, {P, 21}}), setOf(50, {{P, 41}}), NO_EP, 0,
         19438632},
        {"kppkp w ep", KPPKP, 0, setOf(2, {{P, 35}, {P, 21}}), setOf(50, {{P, 36}}), 44, 0,
         83207111},
        {"kqrkr w", KQRKR, 0, setOf(2, {{Q, 30}, {R, 13}}), setOf(44, {{R, 7}}), NO_EP, 0,
         25124526},
        {"kqrkr b", KQRKR, 1, setOf(2, {{Q, 30}, {R, 13}}), setOf(44, {{R, 7}}), NO_EP, 0,
         92065608},
        {"knnk w", KNNK, 0, setOf(2, {{N, 30}, {N, 13}}), setOf(44), NO_EP, 0, 203068},
        {"kqqkqq w", KQQKQQ, 0, setOf(2, {{Q, 30}, {Q, 13}}), setOf(44, {{Q, 7}, {Q, 60}}), NO_EP,
         0, 343801036},
        // Kings on the diagonal: the queen below it and above it differ.
        {"kqk b, diagonal, below", KQK, 1, setOf(54, {{Q, 8}}), setOf(9), NO_EP, 0, 14516},
        {"kqk b, diagonal, above", KQK, 1, setOf(54, {{Q, 1}}), setOf(9), NO_EP, 0, 14509},
        // No pawn beside the passed one: the ordinary index.
        {"kpkp no capturer", KPKP, 0, setOf(1, {{P, 33}}), setOf(62, {{P, 36}}), 44, 0,
         tableIndex(KPKP, 0, setOf(1, {{P, 33}}), setOf(62, {{P, 36}}), NO_EP, 0)},
        // Input no position gives: kings side by side, a piece attacking
        // the other king (a pawn on either side, not across the edge), pawns
        // on the first or last rank.
        {"kings side by side", KQK, 0, setOf(3, {{Q, 30}}), setOf(4), NO_EP, 0, INDEX_NONE},
        {"queen beside the king", KQK, 0, setOf(0, {{Q, 36}}), setOf(27), NO_EP, 0, INDEX_NONE},
        {"knight checks", KNK, 0, setOf(0, {{N, 44}}), setOf(27), NO_EP, 0, INDEX_NONE},
        {"pawn checks", KPK, 0, setOf(0, {{P, 29}}), setOf(36), NO_EP, 0, INDEX_NONE},
        {"pawn checks", KPK, 0, setOf(0, {{P, 27}}), setOf(36), NO_EP, 0, INDEX_NONE},
        {"pawn across the edge", KPK, 0, setOf(2, {{P, 31}}), setOf(32), NO_EP, 0, 6626},
        {"pawn on the last rank", KPK, 0, setOf(0, {{P, 60}}), setOf(20), NO_EP, 0, INDEX_NONE},
        {"pawn on the first rank", KRKP, 0, setOf(0, {{R, 40}}), setOf(20, {{P, 3}}), NO_EP, 0,
         INDEX_NONE},
    };
    for (const Row& r : rows)
        EXPECT_EQ(tableIndex(r.id, r.side, r.first, r.second, r.ep, r.invert), r.index) << r.what;
}

std::mt19937 rng(12);
int randomSquare(int lo = 0, int hi = 63) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

TEST(EgtbIndex, SymmetryImagesShareAnIndex) {
    initIndexFunctions();
    auto apart = [](int a, int b) {
        return std::abs((a & 7) - (b & 7)) > 1 || std::abs((a >> 3) - (b >> 3)) > 1;
    };
    auto t = [](int sq) { return 8 * (sq & 7) + (sq >> 3); };
    for (int trial = 0; trial < 1500; ++trial) {
        int wk, bk, p;
        do wk = randomSquare(), bk = randomSquare(), p = randomSquare(8, 55);
        while (!apart(wk, bk) || p == wk || p == bk);
        // kpk and its image with the files exchanged.
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(tableIndex(KPK, side, setOf(wk, {{P, p}}), setOf(bk), NO_EP, 0),
                      tableIndex(KPK, side, setOf(wk ^ 7, {{P, p ^ 7}}), setOf(bk ^ 7), NO_EP, 0));
        // kqk: files exchanged, the board turned, and the diagonal unless both
        // kings stand on it (a position and its reflection then keep two).
        auto kqk = [](int w, int q, int b) {
            return tableIndex(KQK, 1, setOf(w, {{Q, q}}), setOf(b), NO_EP, 0);
        };
        const std::uint32_t base = kqk(wk, p, bk);
        EXPECT_EQ(base, kqk(wk ^ 7, p ^ 7, bk ^ 7));
        EXPECT_EQ(base, kqk(wk ^ 63, p ^ 63, bk ^ 63));
        const int m = ((bk & 7) >= 4 ? 7 : 0) + ((bk >> 3) >= 4 ? 56 : 0);
        auto onDiagonal = [m](int sq) { return ((sq ^ m) & 7) == ((sq ^ m) >> 3); };
        if (!(onDiagonal(bk) && onDiagonal(wk))) {
            EXPECT_EQ(base, kqk(t(wk), t(p), t(bk)));
        }
    }
}

} // namespace
