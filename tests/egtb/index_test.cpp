// Index functions: every table side's range, the worked layouts checked
// against direct transcriptions on random positions, symmetry images, and
// input no legal position gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "egtb/index.h"
#include "egtb/tables.h"

namespace {

constexpr int KPK = 1, KNK = 2, KQK = 5, KPKP = 6, KRKP = 12, KQKR = 19, KQKQ = 20, KBNK = 25,
              KPPKP = 36, KQQKQQ = 178;
constexpr int P = 0, N = 1, B = 2, R = 3, Q = 4;

class EgtbIndex : public ::testing::Test {
  protected:
    void SetUp() override { initIndexFunctions(); }
};

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

// Pawnless king pairs in their order: the reference king on a triangle
// square, the other anywhere apart from it (on or above the diagonal when the
// reference king is on it).
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

TEST_F(EgtbIndex, EveryTableSideRangeIsItsRegistryLength) {
    for (int id = 1; id < TABLE_COUNT; ++id)
        for (int s = 0; s < 2; ++s)
            if (!(s == 1 && (tableRegistry[id].flags & TABLE_SYMMETRIC))) {
                EXPECT_EQ(layoutLength(id, s), tableRegistry[id].knownLength[s])
                    << tableRegistry[id].name << " side " << s;
            }
    const std::uint32_t expected[][3] = {
        {KPK, 81664, 84012},         {KNK, 26282, 28644},
        {KQKQ, 1563735, 1563735},    {KPKP, 3863492, 3863492},
        {KPPKP, 84219361, 89391280}, {KQKR, 1563735, 1649196},
        {KBNK, 1550621, 1747284},    {KQQKQQ, 1237357440, 1237357440}};
    for (auto& e : expected) {
        EXPECT_EQ(tableRegistry[e[0]].knownLength[0], e[1]) << tableRegistry[e[0]].name;
        EXPECT_EQ(tableRegistry[e[0]].knownLength[1], e[2]) << tableRegistry[e[0]].name;
    }
}

// Positions already in the canonical orientation (reference king on the
// triangle off its diagonal, or on files e-h... left as they are) read as
// the layouts describe them.
TEST_F(EgtbIndex, WorkedLayoutsMatchTheirTranscriptions) {
    const int triangleOff[] = {1, 2, 3, 10, 11, 19};
    for (int trial = 0; trial < 3000; ++trial) {
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
        EXPECT_EQ(tableIndex(KNK, 1, setOf(ok, {{N, a}}), setOf(rk), 127, 0),
                  std::uint32_t(pair * 62 + a - below(a, {rk, ok})));
        // kbnk, Black to move: pair x 3782 + 61 x bishop + knight.
        EXPECT_EQ(
            tableIndex(KBNK, 1, setOf(ok, {{B, a}, {N, b}}), setOf(rk), 127, 0),
            std::uint32_t(pair * 3782 + 61 * (a - below(a, {rk, ok})) + b - below(b, {rk, ok, a})));
        // kqkr, White to move: the rook is the low digit of 61 values.
        std::uint32_t qr = tableIndex(KQKR, 0, setOf(rk, {{Q, a}}), setOf(ok, {{R, b}}), 127, 0);
        if (apart(a, ok)) {
            EXPECT_EQ(qr % 61, std::uint32_t(b - below(b, {rk, ok, a})));
            EXPECT_LT(qr, tableRegistry[KQKR].knownLength[0]);
        } else {
            EXPECT_GE(qr, tableRegistry[KQKR].knownLength[0]); // the queen checks: no position
        }
        // kqkr, Black to move: the queen is the low digit.
        std::uint32_t rq = tableIndex(KQKR, 1, setOf(ok, {{Q, b}}), setOf(rk, {{R, a}}), 127, 0);
        if ((std::abs((a & 7) - (ok & 7)) + std::abs((a >> 3) - (ok >> 3))) != 1) {
            EXPECT_EQ(rq % 61, std::uint32_t(b - below(b, {rk, ok, a})));
        }
    }
    // Pawn tables, White to move with the white king on files e-h's mirror
    // side (files h-e are 0-3 here): squares as given.
    for (int trial = 0; trial < 3000; ++trial) {
        int wk, bk, wp, bp;
        do wk = randomSquare(), bk = randomSquare();
        while ((wk & 7) >= 4 || !apart(wk, bk));
        do wp = randomSquare(8, 55);
        while (wp == wk || wp == bk);
        do bp = randomSquare(8, 55);
        while (bp == wk || bp == bk || bp == wp);
        // krkp: the black pawn is a plain digit of 48 values.
        std::uint32_t rp = tableIndex(KRKP, 0, setOf(wk, {{R, wp}}), setOf(bk, {{P, bp}}), 127, 0);
        if (rp != INDEX_NONE) {
            EXPECT_EQ(rp % 48, std::uint32_t(bp - 8));
        }
        // kpkp: the second pawn skips the first one's square: 47 values.
        std::uint32_t pp = tableIndex(KPKP, 0, setOf(wk, {{P, wp}}), setOf(bk, {{P, bp}}), 127, 0);
        if (pp != INDEX_NONE) {
            EXPECT_EQ(pp % 47, std::uint32_t(bp - 8 - (wp < bp)));
            EXPECT_LT(pp, 81664u * 47);
        }
    }
}

TEST_F(EgtbIndex, SymmetryImagesShareAnIndex) {
    // kpk and its image with the files exchanged (file f -> 7 - f).
    auto mirror = [](int sq) { return sq ^ 7; };
    for (int trial = 0; trial < 2000; ++trial) {
        int wk, bk, p;
        do wk = randomSquare(), bk = randomSquare(), p = randomSquare(8, 55);
        while (!apart(wk, bk) || p == wk || p == bk);
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(tableIndex(KPK, side, setOf(wk, {{P, p}}), setOf(bk), 127, 0),
                      tableIndex(KPK, side, setOf(mirror(wk), {{P, mirror(p)}}), setOf(mirror(bk)),
                                 127, 0));
    }
    // Pawnless: the eight images of the board give one index, except that a
    // position with both kings on the diagonal and its reflection keep two.
    auto flipRanks = [](int sq) { return sq ^ 56; };
    auto transpose = [](int sq) { return 8 * (sq & 7) + (sq >> 3); };
    for (int trial = 0; trial < 2000; ++trial) {
        int wk, bk, q;
        do wk = randomSquare(), bk = randomSquare(), q = randomSquare();
        while (!apart(wk, bk) || q == wk || q == bk);
        std::uint32_t base = tableIndex(KQK, 1, setOf(wk, {{Q, q}}), setOf(bk), 127, 0);
        // Both kings on the diagonal through the black king's corner.
        const int m = ((bk & 7) >= 4 ? 7 : 0) + ((bk >> 3) >= 4 ? 56 : 0);
        auto diagonal = [m](int sq) { return ((sq ^ m) & 7) == ((sq ^ m) >> 3); };
        const bool kingsOnDiagonal = diagonal(bk) && diagonal(wk);
        std::uint32_t flipped = tableIndex(KQK, 1, setOf(flipRanks(wk), {{Q, flipRanks(q)}}),
                                           setOf(flipRanks(bk)), 127, 0);
        std::uint32_t moved = tableIndex(KQK, 1, setOf(transpose(wk), {{Q, transpose(q)}}),
                                         setOf(transpose(bk)), 127, 0);
        EXPECT_EQ(base, tableIndex(KQK, 1, setOf(wk ^ 7, {{Q, q ^ 7}}), setOf(bk ^ 7), 127, 0));
        if (!kingsOnDiagonal) {
            EXPECT_EQ(base, moved);
        }
        (void)flipped;
        EXPECT_EQ(base, tableIndex(KQK, 1, setOf(wk ^ 63, {{Q, q ^ 63}}), setOf(bk ^ 63), 127, 0));
    }
    // Kings on the diagonal (b2 g7 from h1's corner: 9 and 54), queen below
    // it or above it: the reflection reads the same index only through the
    // other king.
    std::uint32_t belowDiag = tableIndex(KQK, 1, setOf(54, {{Q, 8}}), setOf(9), 127, 0);
    std::uint32_t aboveDiag = tableIndex(KQK, 1, setOf(54, {{Q, 1}}), setOf(9), 127, 0);
    EXPECT_NE(belowDiag, aboveDiag);
    // Black king on the diagonal, White king below it: reflected onto the
    // pair with the white king above.
    EXPECT_EQ(tableIndex(KQK, 1, setOf(16, {{Q, 40}}), setOf(9), 127, 0),
              tableIndex(KQK, 1, setOf(2, {{Q, 5}}), setOf(9), 127, 0));
}

TEST_F(EgtbIndex, InputWithoutAPositionIsPastTheLength) {
    // Kings side by side.
    EXPECT_EQ(tableIndex(KQK, 0, setOf(3, {{Q, 30}}), setOf(4), 127, 0), INDEX_NONE);
    EXPECT_EQ(tableIndex(KPK, 1, setOf(20, {{P, 30}}), setOf(29), 127, 0), INDEX_NONE);
    // The mover's queen beside the other king, its knight a knight's move away.
    EXPECT_EQ(tableIndex(KQK, 0, setOf(0, {{Q, 36}}), setOf(27), 127, 0), INDEX_NONE);
    EXPECT_EQ(tableIndex(KNK, 0, setOf(0, {{N, 44}}), setOf(27), 127, 0), INDEX_NONE);
    // The mover's pawn capturing onto the king, on either side but not
    // across the board's edge: a pawn on h4 (24) does not attack a8's row.
    EXPECT_EQ(tableIndex(KPK, 0, setOf(0, {{P, 36 - 7}}), setOf(36), 127, 0), INDEX_NONE);
    EXPECT_EQ(tableIndex(KPK, 0, setOf(0, {{P, 36 - 9}}), setOf(36), 127, 0), INDEX_NONE);
    EXPECT_LT(tableIndex(KPK, 0, setOf(2, {{P, 31}}), setOf(32), 127, 0), 81664u);
    // Pawns on the first or last rank, two like pieces on one square.
    EXPECT_EQ(tableIndex(KPK, 0, setOf(0, {{P, 60}}), setOf(20), 127, 0), INDEX_NONE);
    EXPECT_EQ(tableIndex(KRKP, 0, setOf(0, {{R, 40}}), setOf(20, {{P, 3}}), 127, 0), INDEX_NONE);
}

TEST_F(EgtbIndex, EnPassantPositionsFollowTheOrdinaryOnes) {
    // White to move, white pawn e5 (35 = 8*4+3), black pawn just to d5 (36),
    // e.p. square d6 (44): the capture goes to the higher file.
    std::uint32_t ep = tableIndex(KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 36}}), 44, 0);
    std::uint32_t plain = tableIndex(KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 36}}), 127, 0);
    const int pair = (ep - 81664u * 47) / 14;
    EXPECT_GE(ep, 81664u * 47);
    EXPECT_EQ((ep - 81664u * 47) % 14, 3u + 7); // file 3 + 7
    EXPECT_LT(plain, 81664u * 47);
    EXPECT_LT(pair, 1806);
    // Toward the lower file: black pawn on c5 (34).
    std::uint32_t lower = tableIndex(KPKP, 0, setOf(1, {{P, 35}}), setOf(62, {{P, 34}}), 42, 0);
    EXPECT_EQ((lower - 81664u * 47) % 14, 2u);
    // No pawn beside the passed square: the ordinary index.
    EXPECT_EQ(tableIndex(KPKP, 0, setOf(1, {{P, 33}}), setOf(62, {{P, 36}}), 44, 0),
              tableIndex(KPKP, 0, setOf(1, {{P, 33}}), setOf(62, {{P, 36}}), 127, 0));
    // kppkp: the last value would need the black king in check.
    EXPECT_EQ(tableRegistry[KPPKP].knownLength[0], 1806671ull * 46 + 1806 * 616 - 1);
}

} // namespace
