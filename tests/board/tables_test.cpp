// Start-up tables: keys every process must share, slider lookups, masks the
// evaluation reads, and the material settings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "board/bitboard.h"
#include "board/rng.h"
#include "board/settings_file.h"
#include "board_fixture.h"

namespace {

U64 naiveSlide(int sq, U64 occ, bool rook) {
    static const int rookDirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    static const int bishopDirs[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    const int(*dirs)[2] = rook ? rookDirs : bishopDirs;
    U64 out = 0;
    for (int d = 0; d < 4; ++d) {
        int r = sq / 8 + dirs[d][0], f = sq % 8 + dirs[d][1];
        while (r >= 0 && r < 8 && f >= 0 && f < 8) {
            out |= bit(8 * r + f);
            if (occ & bit(8 * r + f)) break;
            r += dirs[d][0];
            f += dirs[d][1];
        }
    }
    return out;
}

} // namespace

TEST(BitOperations, HighestBitOfEmptySetIs999AndLoopsGoFromTheTop) {
    EXPECT_EQ(msb(0), 999);
    EXPECT_EQ(msb(1), 0);
    EXPECT_EQ(msb(0x8000000000000001ull), 63);
    EXPECT_EQ(popcount(0xF0F0ull), 8);
    U64 set = bit(3) | bit(40) | bit(17);
    EXPECT_EQ(popHighest(set), 40);
    EXPECT_EQ(popHighest(set), 17);
    EXPECT_EQ(set, bit(3));
}

TEST(SliderTables, MagicLookupsEqualARayWalkForRandomOccupancies) {
    ensureBoardTables();
    U64 x = 0x123456789ABCDEFull;
    for (int sq = 0; sq < 64; ++sq) {
        for (int i = 0; i < 300; ++i) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            U64 occ = x & (x >> 3); // about a quarter of the squares
            ASSERT_EQ(rookAttacks(occ, sq), naiveSlide(sq, occ, true)) << sq;
            ASSERT_EQ(bishopAttacks(occ, sq), naiveSlide(sq, occ, false)) << sq;
            ASSERT_EQ(queenAttacks(occ, sq),
                      naiveSlide(sq, occ, true) | naiveSlide(sq, occ, false));
        }
    }
}

// The keys are the generator's draws in a fixed order; a process that drew
// them in another order would not share the transposition table.
TEST(ZobristKeys, FollowTheFixedDrawOrderOfThe15BitGenerator) {
    ensureBoardTables();
    Rand15 r;
    auto draw = [&r] {
        U64 k = 0;
        for (int i = 0; i < 5; ++i) k ^= static_cast<U64>(r.next()) << (15 * i);
        return k;
    };
    U64 first = draw();
    EXPECT_EQ(zobrist.piece[PAWN][0][0], first);
    EXPECT_EQ(zobrist.piece[PAWN][0][1], draw());
    for (int i = 2; i < 7 * 2 * 64; ++i) {
        U64 k = draw();
        int kind = i / 128, colour = i / 64 % 2, sq = i % 64;
        if (kind == EMPTY && colour == 0 && sq == 0) {
            EXPECT_EQ(zobrist.piece[kind][colour][sq], 0u) << "no en-passant square";
        } else {
            ASSERT_EQ(zobrist.piece[kind][colour][sq], k) << i;
        }
    }
    EXPECT_EQ(zobrist.side, draw());
    U64 base[4] = {draw(), draw(), draw(), draw()};
    EXPECT_EQ(zobrist.castle[0], 0u);
    EXPECT_EQ(zobrist.castle[CASTLE_WK], base[0]);
    EXPECT_EQ(zobrist.castle[CASTLE_BQ], base[3]);
    EXPECT_EQ(zobrist.castle[15], base[0] ^ base[1] ^ base[2] ^ base[3]);
}

TEST(MaskTables, PawnAttackRowsLeaveTheLastRanksEmpty) {
    ensureBoardTables();
    for (int sq = 48; sq < 64; ++sq) EXPECT_EQ(pawnAttacks[0][sq], 0u) << sq;
    for (int sq = 0; sq < 16; ++sq) EXPECT_EQ(pawnAttacks[1][sq], 0u) << sq;
    // A white pawn on a2 attacks b3 only; a black pawn on h7 attacks g6 only.
    EXPECT_EQ(pawnAttacks[0][squareAt("a2")], bit(squareAt("b3")));
    EXPECT_EQ(pawnAttacks[1][squareAt("h7")], bit(squareAt("g6")));
    EXPECT_EQ(pawnAttacks[0][squareAt("e4")], bit(squareAt("d5")) | bit(squareAt("f5")));
}

TEST(MaskTables, PawnStructureMasksPointTheRightWayForEachColour) {
    ensureBoardTables();
    const int e4 = squareAt("e4");
    EXPECT_EQ(frontSpan[1][e4], bit(squareAt("e5")) | bit(squareAt("e6")) | bit(squareAt("e7")) |
                                    bit(squareAt("e8")));
    EXPECT_EQ(frontSpan[0][e4], bit(squareAt("e3")) | bit(squareAt("e2")) | bit(squareAt("e1")));
    EXPECT_EQ(passedMask[1][squareAt("b7")],
              bit(squareAt("a8")) | bit(squareAt("b8")) | bit(squareAt("c8")));
    EXPECT_EQ(pawnNeighbours[1][squareAt("a4")], bit(squareAt("b3")) | bit(squareAt("b4")));
    EXPECT_EQ(pawnNeighbours[0][squareAt("h5")], bit(squareAt("g6")) | bit(squareAt("g5")));
    // h-side neighbour of e4 is the f-file, a-side the d-file.
    EXPECT_EQ(sideFileSpan[0][1][squareAt("e6")], bit(squareAt("f7")) | bit(squareAt("f8")));
    EXPECT_EQ(sideFileSpan[1][0][squareAt("e3")], bit(squareAt("d2")) | bit(squareAt("d1")));
    EXPECT_EQ(adjacentFiles[squareAt("a5")], FILE_B);
    EXPECT_EQ(popcount(sameColourSquares[0]), 32);
    EXPECT_TRUE(sameColourSquares[squareAt("h1")] & bit(squareAt("a8")));
    EXPECT_EQ(diagonalMask[1][0], 0x8040201008040201ull);
    EXPECT_EQ(diagonalMask[0][7], 0x0102040810204080ull);
    EXPECT_EQ(distance[squareAt("a1")][squareAt("h8")], 7);
    EXPECT_EQ(distance[squareAt("e4")][squareAt("f6")], 2);
}

TEST(MaskTables, RuleOfTheSquare) {
    ensureBoardTables();
    const int e4 = squareAt("e4"), a2 = squareAt("a2");
    // White pawn e4 needs 4 moves; a king on a3 is 5 from e8: outside.
    EXPECT_EQ(outsideSquare[e4][squareAt("a3")][3], 1);
    EXPECT_EQ(outsideSquare[e4][squareAt("b4")][3], 0);
    EXPECT_EQ(outsideSquare[e4][squareAt("a3")][1], 0); // with the move, back inside
    // A pawn on its start square counts its double step: 5 moves from a2.
    EXPECT_EQ(outsideSquare[a2][squareAt("f3")][3], 0);
    EXPECT_EQ(outsideSquare[a2][squareAt("h3")][3], 1);
    // Black pawn on d7 needs 5 moves to d1.
    EXPECT_EQ(outsideSquare[squareAt("d7")][squareAt("d7")][0], 1);
    EXPECT_EQ(outsideSquare[squareAt("d7")][squareAt("h6")][0], 0);
}

TEST(ValueTables, DefaultMaterialAndMirroredPieceSquares) {
    ensureBoardTables();
    EXPECT_EQ(initialMaterial, 7800);
    EXPECT_EQ(pieceValue[PAWN], 100);
    EXPECT_EQ(pieceValue[QUEEN], 900);
    EXPECT_EQ(pieceValue[KING], 0);
    EXPECT_EQ(pieceValue[EMPTY], 0);
    // The d2 pawn square is -8 for white; black's d7 mirror is +8 (negated).
    EXPECT_EQ(pieceSquare[1][PAWN][squareAt("d2")], -8);
    EXPECT_EQ(pieceSquare[0][PAWN][squareAt("d7")], 8);
    // King rank 1 row: 7, 19, 16, -7, -6, -7, 6, -3 from a1 to h1.
    EXPECT_EQ(pieceSquare[1][KING][squareAt("b1")], 19);
    EXPECT_EQ(pieceSquare[1][KING][squareAt("h1")], -3);
    EXPECT_EQ(pieceSquare[0][KING][squareAt("b8")], -19);
    EXPECT_EQ(pieceSquare[1][QUEEN][squareAt("a1")], -5);
    for (int sq = 0; sq < 64; ++sq) EXPECT_EQ(pieceSquare[1][EMPTY][sq], 0);
}

TEST(MaterialSettings, ReadFromTheSettingsFileWithEcho) {
    char dir[] = "/tmp/tarvok-settings-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string old(4096, '\0');
    ASSERT_NE(getcwd(old.data(), old.size()), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    FILE* f = std::fopen(SETTINGS_FILE_NAME, "w");
    ASSERT_NE(f, nullptr);
    std::fputs("pref:VALROOK=480\n"
               "pref:printToScreen=1\n"
               "pref:VALPAWN=120\n"
               "pref:VALKNIGHT=310.7\n"
               "comment line\n"
               "pref:VALQUEEN=   950   (centipawns)\n",
               f);
    std::fclose(f);

    Board b;
    testing::internal::CaptureStdout();
    initBoardTables(nullptr, b);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Read settings:\n   VALPAWN:  120\n   VALKNIGHT:310\n   VALQUEEN: 950\n");
    EXPECT_EQ(pieceValue[PAWN], 120);
    EXPECT_EQ(pieceValue[KNIGHT], 310);
    EXPECT_EQ(pieceValue[ROOK], 480);
    EXPECT_EQ(initialMaterial, 2 * 950 + 4 * 480 + 4 * 300 + 4 * 310 + 16 * 120);
    EXPECT_EQ(b.wMat, 8 * 120 + 2 * 310 + 2 * 300 + 2 * 480 + 950);

    // A zero pawn value would divide by zero in the capture scores.
    f = std::fopen(SETTINGS_FILE_NAME, "w");
    std::fputs("pref:VALPAWN=0\n", f);
    std::fclose(f);
    initBoardTables(nullptr, b);
    EXPECT_GE(pieceValue[PAWN], 1);

    std::remove(SETTINGS_FILE_NAME);
    ASSERT_EQ(chdir(old.c_str()), 0);
    rmdir(dir);
    material = MaterialValues{};
    rebuildValueTables();
    EXPECT_EQ(initialMaterial, 7800);
}
