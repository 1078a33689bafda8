// Index functions: every table side's range, the worked layouts against
// direct transcriptions on random positions, symmetry images, input no
// legal position gives, and en passant.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "egtb/index.h"
#include "egtb/tables.h"

namespace {

constexpr int KPK = 1, KNK = 2, KQK = 5, KPKP = 6, KRKP = 12, KQKR = 19, KQKQ = 20, KBNK = 25,
              KPPKP = 36, KQQKQQ = 178;
constexpr int P = 0, N = 1, B = 2, R = 3, Q = 4;

PieceSet setOf(int king, std::initializer_list<std::pair<int, int>> pieces = {}) {
    PieceSet s{};
    int n[5] = {};
    for (auto [kind, sq] : pieces) s.squares[kind][n[kind]++] = sq;
    s.king = king;
    return s;
}
int below(int sq, std::initializer_list<int> others) {
    int n = 0;
    for (int o : others) n += o < sq;
    return n;
}
bool apart(int a, int b) {
    return std::abs((a & 7) - (b & 7)) > 1 || std::abs((a >> 3) - (b >> 3)) > 1;
}
// Pawnless king pairs in order: the reference king on the triangle, the
// other apart from it (on or above the diagonal when the first is on it).
int pawnlessPair(int r, int o) {
    int n = 0;
    for (int a : {0, 1, 2, 3, 9, 10, 11, 18, 19, 27})
        for (int b = 0; b < 64; ++b) {
            if (!apart(a, b) || ((a & 7) == (a >> 3) && (b & 7) < (b >> 3))) continue;
            if (a == r && b == o) return n;
            ++n;
        }
    return -1;
}
std::mt19937 rng(12);
int randomSquare(int lo = 0, int hi = 63) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}
std::uint32_t idx(int id, int side, const PieceSet& a, const PieceSet& b, int ep = 127) {
    return tableIndex(id, side, a, b, ep, 0);
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
}

// Positions already in the canonical orientation read as the layouts say.
TEST(EgtbIndex, WorkedLayoutsMatchTheirTranscriptions) {
    initIndexFunctions();
    const int triangleOff[] = {1, 2, 3, 10, 11, 19};
    for (int trial = 0; trial < 1500; ++trial) {
        const int rk = triangleOff[trial % 6];
        int ok, a, b;
        do ok = randomSquare();
        while (!apart(rk, ok));
        do a = randomSquare();
        while (a == rk || a == ok);
        do b = randomSquare();
        while (b == rk || b == ok || b == a);
        const int pair = pawnlessPair(rk, ok);
        // knk, Black to move: pair x 62 + knight reduced by the kings.
        EXPECT_EQ(idx(KNK, 1, setOf(ok, {{N, a}}), setOf(rk)),
                  std::uint32_t(pair * 62 + a - below(a, {rk, ok})));
        // kbnk, Black to move: pair x 3782 + 61 x bishop + knight.
        EXPECT_EQ(
            idx(KBNK, 1, setOf(ok, {{B, a}, {N, b}}), setOf(rk)),
            std::uint32_t(pair * 3782 + 61 * (a - below(a, {rk, ok})) + b - below(b, {rk, ok, a})));
        // kqkr, White to move: the rook is the low digit of 61 values; a
        // queen beside the other king is no position.
        std::uint32_t qr = idx(KQKR, 0, setOf(rk, {{Q, a}}), setOf(ok, {{R, b}}));
        if (apart(a, ok))
            EXPECT_EQ(qr % 61, std::uint32_t(b - below(b, {rk, ok, a})));
        else
            EXPECT_GE(qr, tableRegistry[KQKR].knownLength[0]);
    }
    // Pawn tables, the white king on files 0-3: squares as given.
    for (int trial = 0; trial < 1500; ++trial) {
        int wk, bk, wp, bp;
        do wk = randomSquare(), bk = randomSquare();
        while ((wk & 7) >= 4 || !apart(wk, bk));
        do wp = randomSquare(8, 55);
        while (wp == wk || wp == bk);
        do bp = randomSquare(8, 55);
        while (bp == wk || bp == bk || bp == wp);
        // krkp: the black pawn is a plain digit of 48 values.
        std::uint32_t rp = idx(KRKP, 0, setOf(wk, {{R, wp}}), setOf(bk, {{P, bp}}));
        if (rp != INDEX_NONE) {
            EXPECT_EQ(rp % 48, std::uint32_t(bp - 8));
        }
        // kpkp: the second pawn skips the first one's square: 47 values.
        std::uint32_t pp = idx(KPKP, 0, setOf(wk, {{P, wp}}), setOf(bk, {{P, bp}}));
        if (pp != INDEX_NONE) {
            EXPECT_EQ(pp % 47, std::uint32_t(bp - 8 - (wp < bp)));
            EXPECT_LT(pp, 81664u * 47);
        }
    }
}

TEST(EgtbIndex, SymmetryImagesShareAnIndex) {
    initIndexFunctions();
    for (int trial = 0; trial < 1500; ++trial) {
        int wk, bk, p;
        do wk = randomSquare(), bk = randomSquare(), p = randomSquare(8, 55);
        while (!apart(wk, bk) || p == wk || p == bk);
        // kpk and its image with the files exchanged.
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(idx(KPK, side, setOf(wk, {{P, p}}), setOf(bk)),
                      idx(KPK, side, setOf(wk ^ 7, {{P, p ^ 7}}), setOf(bk ^ 7)));
        // kqk: files exchanged, board turned, and the diagonal unless both
        // kings stand on it (then a position and its reflection keep two).
        auto t = [](int sq) { return 8 * (sq & 7) + (sq >> 3); };
        const std::uint32_t base = idx(KQK, 1, setOf(wk, {{Q, p}}), setOf(bk));
        EXPECT_EQ(base, idx(KQK, 1, setOf(wk ^ 7, {{Q, p ^ 7}}), setOf(bk ^ 7)));
        EXPECT_EQ(base, idx(KQK, 1, setOf(wk ^ 63, {{Q, p ^ 63}}), setOf(bk ^ 63)));
        const int m = ((bk & 7) >= 4 ? 7 : 0) + ((bk >> 3) >= 4 ? 56 : 0);
        auto onDiagonal = [m](int sq) { return ((sq ^ m) & 7) == ((sq ^ m) >> 3); };
        if (!(onDiagonal(bk) && onDiagonal(wk))) {
            EXPECT_EQ(base, idx(KQK, 1, setOf(t(wk), {{Q, t(p)}}), setOf(t(bk))));
        }
    }
    // Kings on the diagonal (b2, g7): the queen below or above it differ;
    // the white king below the diagonal is reflected above it.
    EXPECT_NE(idx(KQK, 1, setOf(54, {{Q, 8}}), setOf(9)),
              idx(KQK, 1, setOf(54, {{Q, 1}}), setOf(9)));
    EXPECT_EQ(idx(KQK, 1, setOf(16, {{Q, 40}}), setOf(9)),
              idx(KQK, 1, setOf(2, {{Q, 5}}), setOf(9)));
}

TEST(EgtbIndex, InputWithoutAPositionIsPastTheLength) {
    initIndexFunctions();
    struct Row {
        int id, side;
        PieceSet a, b;
    };
    const Row none[] = {
        {KQK, 0, setOf(3, {{Q, 30}}), setOf(4)},             // kings side by side
        {KPK, 1, setOf(20, {{P, 30}}), setOf(29)},           //
        {KQK, 0, setOf(0, {{Q, 36}}), setOf(27)},            // the queen beside the other king
        {KNK, 0, setOf(0, {{N, 44}}), setOf(27)},            // a knight's move away
        {KPK, 0, setOf(0, {{P, 29}}), setOf(36)},            // the pawn takes the king
        {KPK, 0, setOf(0, {{P, 27}}), setOf(36)},            //
        {KPK, 0, setOf(0, {{P, 60}}), setOf(20)},            // a pawn on the last rank
        {KRKP, 0, setOf(0, {{R, 40}}), setOf(20, {{P, 3}})}, // or the first
    };
    for (const Row& r : none) EXPECT_EQ(idx(r.id, r.side, r.a, r.b), INDEX_NONE) << r.id;
    // No capture across the board's edge: h4 does not attack a6.
    EXPECT_LT(idx(KPK, 0, setOf(2, {{P, 31}}), setOf(32)), 81664u);
}

TEST(EgtbIndex, EnPassantPositionsFollowTheOrdinaryOnes) {
    initIndexFunctions();
    const std::uint32_t ordinary = 81664u * 47;
    // White pawn e5 (35), black pawn just to d5 (36), e.p. square d6: the
    // capture toward the higher file has code file + 7.
    std::uint32_t ep = idx(KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 36}}), 44);
    EXPECT_EQ(ep, ordinary + 14 * ((ep - ordinary) / 14) + 10);
    EXPECT_LT((ep - ordinary) / 14, 1806u);
    EXPECT_LT(idx(KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 36}})), ordinary);
    // Toward the lower file: code file - 1.
    EXPECT_EQ((idx(KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 34}}), 42) - ordinary) % 14, 2u);
    // No pawn beside the passed one: the ordinary index.
    EXPECT_EQ(idx(KPKP, 0, setOf(1, {{P, 33}}), setOf(62, {{P, 36}}), 44),
              idx(KPKP, 0, setOf(1, {{P, 33}}), setOf(62, {{P, 36}})));
    // kppkp: the last value would need the black king in check.
    EXPECT_EQ(tableRegistry[KPPKP].knownLength[0], 1806671ull * 46 + 1806 * 616 - 1);
}

} // namespace
