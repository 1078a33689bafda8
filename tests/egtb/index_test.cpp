// The index functions of the tables.
#include <gtest/gtest.h>

#include "egtb/index.h"
#include "egtb/tables.h"

namespace {

constexpr int KPK = 1, KNK = 2, KQK = 5, KPKP = 6, KRKP = 12, KQKR = 19, KPPK = 21, KNNK = 23,
              KBNK = 25, KPPKP = 36, KQRKR = 104, KQQKQQ = 178;
constexpr int P = 0, N = 1, B = 2, R = 3, Q = 4, NO_EP = 127;

PieceSet setOf(int king, std::initializer_list<std::pair<int, int>> pieces = {}) {
    PieceSet s{};
    int n[5] = {};
    for (auto [kind, sq] : pieces) s.squares[kind][n[kind]++] = sq;
    s.king = king;
    return s;
}

TEST(EgtbIndex, RangesAndPinnedIndicesOfTheLayouts) {
    initIndexFunctions();
    for (int id = 1; id < TABLE_COUNT; ++id)
        for (int s = 0; s < ((tableRegistry[id].flags & TABLE_SYMMETRIC) ? 1 : 2); ++s)
            EXPECT_EQ(layoutLength(id, s), tableRegistry[id].knownLength[s])
                << tableRegistry[id].name << " side " << s;
    struct Row {
        int id, side;
        PieceSet first, second;
        std::uint32_t index;
        int ep = NO_EP, invert = 0;
    };
    const Row rows[] = {
        {KPK, 0, setOf(3, {{P, 12}}), setOf(59), 10488},
        {KPK, 1, setOf(3, {{P, 12}}), setOf(59), 10855},
        {KPK, 1, setOf(59, {{P, 52}}), setOf(3), 10855, NO_EP, 1},
        {KNK, 1, setOf(10, {{N, 30}}), setOf(40), 6684},
        {KBNK, 0, setOf(17, {{B, 20}, {N, 50}}), setOf(45), 913216},
        {KBNK, 1, setOf(17, {{B, 20}, {N, 50}}), setOf(45), 1409479},
        {KQKR, 0, setOf(2, {{Q, 30}}), setOf(44, {{R, 7}}), 436888},
        {KQKR, 1, setOf(2, {{Q, 30}}), setOf(44, {{R, 7}}), 1534426},
        {KRKP, 0, setOf(2, {{R, 30}}), setOf(44, {{P, 21}}), 439117},
        {KRKP, 1, setOf(2, {{R, 30}}), setOf(44, {{P, 21}}), 1868636},
        {KPKP, 1, setOf(1, {{P, 35}}), setOf(62, {{P, 36}}), 250584},
        {KPPK, 1, setOf(2, {{P, 20}, {P, 21}}), setOf(50), 425344},
        {KPPKP, 1, setOf(2, {{P, 20}, {P, 21}}), setOf(50, {{P, 41}}), 19438632},
        {KQRKR, 0, setOf(2, {{Q, 30}, {R, 13}}), setOf(44, {{R, 7}}), 25124526},
        {KQRKR, 1, setOf(2, {{Q, 30}, {R, 13}}), setOf(44, {{R, 7}}), 92065608},
        {KNNK, 0, setOf(2, {{N, 30}, {N, 13}}), setOf(44), 203068},
        {KQQKQQ, 0, setOf(2, {{Q, 30}, {Q, 13}}), setOf(44, {{Q, 7}, {Q, 60}}), 343801036},
        // En passant beside the passed pawn on a higher and a lower file;
        // with no pawn beside it, the ordinary index.
        {KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 36}}), 3839842, 44},
        {KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 34}}), 3839834, 42},
        {KPPKP, 0, setOf(2, {{P, 35}, {P, 21}}), setOf(50, {{P, 36}}), 83207111, 44},
        {KPKP, 0, setOf(1, {{P, 33}}), setOf(62, {{P, 36}}),
         tableIndex(KPKP, 0, setOf(1, {{P, 33}}), setOf(62, {{P, 36}}), NO_EP, 0), 44},
        // Kings on the diagonal: the queen below it and above it differ.
        {KQK, 1, setOf(54, {{Q, 8}}), setOf(9), 14516},
        {KQK, 1, setOf(54, {{Q, 1}}), setOf(9), 14509},
        // Input no position gives: kings side by side, a piece attacking the
        // other king (a pawn on either side, not across the edge), pawns on
        // the first or last rank.
        {KQK, 0, setOf(3, {{Q, 30}}), setOf(4), INDEX_NONE},
        {KQK, 0, setOf(0, {{Q, 36}}), setOf(27), INDEX_NONE},
        {KNK, 0, setOf(0, {{N, 44}}), setOf(27), INDEX_NONE},
        {KPK, 0, setOf(0, {{P, 29}}), setOf(36), INDEX_NONE},
        {KPK, 0, setOf(0, {{P, 27}}), setOf(36), INDEX_NONE},
        {KPK, 0, setOf(2, {{P, 31}}), setOf(32), 6626},
        {KPK, 0, setOf(0, {{P, 60}}), setOf(20), INDEX_NONE},
        {KRKP, 0, setOf(0, {{R, 40}}), setOf(20, {{P, 3}}), INDEX_NONE},
    };
    for (const Row& r : rows)
        EXPECT_EQ(tableIndex(r.id, r.side, r.first, r.second, r.ep, r.invert), r.index)
            << "row " << &r - rows;
}

} // namespace
