// Generation order and ordering scores: what the search's move ordering
// starts from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/makemove.h"
#include "board_fixture.h"

namespace {

std::vector<std::string> texts(const MoveList& list, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(moveString(list.moves[i]));
    return out;
}

int scoreOf(const MoveList& list, int n, const char* move) {
    for (int i = 0; i < n; ++i)
        if (moveString(list.moves[i]) == move) return list.scores[i];
    ADD_FAILURE() << move << " not generated";
    return -99999;
}

// Installs zeroed history and killer tables for one test.
struct WithOrderingTables {
    std::unique_ptr<OrderingTables> tables{new OrderingTables()};
    WithOrderingTables() {
        ensureBoardTables();
        std::memset(tables.get(), 0, sizeof(OrderingTables));
        orderingTables = tables.get();
    }
    ~WithOrderingTables() { orderingTables = nullptr; }
};

} // namespace

TEST(QuietGeneration, StartPositionOrder) {
    Board b = boardFrom(START_FEN);
    MoveList list;
    EXPECT_EQ(generateCaptures(b, list), 0);
    EXPECT_EQ(list.moves[0], NO_MOVE);
    int n = generateQuiet(b, list);
    std::vector<std::string> want = {"a2a3", "b2b3", "c2c3", "d2d3", "e2e3", "f2f3", "g2g3",
                                     "h2h3", "a2a4", "b2b4", "c2c4", "d2d4", "e2e4", "f2f4",
                                     "g2g4", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"};
    EXPECT_EQ(texts(list, n), want);
    EXPECT_EQ(list.moves[n], NO_MOVE);
    for (int i = 0; i < n; ++i) EXPECT_EQ(list.scores[i], 5095) << i;
    for (int i = 8; i < 16; ++i) EXPECT_TRUE(list.moves[i] & DOUBLE_PUSH_FLAG) << i;
    EXPECT_FALSE(list.moves[0] & DOUBLE_PUSH_FLAG);

    // Black mirrors: a7 pawn first, then b8 knight before g8.
    b = boardFrom("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    n = generateQuiet(b, list);
    EXPECT_EQ(moveString(list.moves[0]), "a7a6");
    EXPECT_EQ(moveString(list.moves[8]), "a7a5");
    EXPECT_EQ(moveString(list.moves[16]), "b8a6");
    EXPECT_EQ(moveString(list.moves[19]), "g8h6");
}

TEST(QuietGeneration, PieceOrderAndCastlingLast) {
    Board b = boardFrom("r3k2r/8/8/8/8/8/8/RN2K2R w KQkq - 0 1");
    MoveList list;
    int n = generateQuiet(b, list);
    std::vector<std::string> got = texts(list, n);
    // Knight, king, rook-direction pieces (a1 rook before h1 rook), castling
    // last; the knight on b1 blocks the queen side.
    ASSERT_GE(n, 4);
    EXPECT_EQ(got[0], "b1a3");
    EXPECT_EQ(got[3], "e1d2");
    EXPECT_EQ(got[n - 1], "e1g1");
    EXPECT_EQ(std::find(got.begin(), got.end(), "e1c1"), got.end());
}

TEST(Promotions, QueenAmongCapturesUnderPromotionsAmongQuietMoves) {
    Board b = boardFrom("4k2r/6P1/8/8/8/8/8/4K3 w - - 0 1");
    MoveList list;
    int n = generateCaptures(b, list);
    EXPECT_EQ(texts(list, n), (std::vector<std::string>{"g7g8q", "g7h8q"}));
    EXPECT_EQ(list.scores[0], 24576);
    EXPECT_EQ(list.scores[1], 24576);
    n = generateQuiet(b, list);
    std::vector<std::string> under;
    for (int i = 0; i < n; ++i)
        if (movePromo(list.moves[i])) {
            under.push_back(moveString(list.moves[i]));
            EXPECT_EQ(list.scores[i], 0);
        }
    std::sort(under.begin(), under.end());
    EXPECT_EQ(under,
              (std::vector<std::string>{"g7g8b", "g7g8n", "g7g8r", "g7h8b", "g7h8n", "g7h8r"}));
    EXPECT_TRUE(movePromo(list.moves[n - 1])) << "under-promotions sort last";
    // Alone on the board (all scores equal) they keep their generation order.
    b = boardFrom("7r/6P1/8/8/8/8/8/8 w - - 0 1");
    n = generateQuiet(b, list);
    EXPECT_EQ(texts(list, n),
              (std::vector<std::string>{"g7g8r", "g7g8b", "g7g8n", "g7h8r", "g7h8b", "g7h8n"}));
}

TEST(CaptureScores, ByVictimAttackerAndDefence) {
    MoveList list;
    struct Case {
        const char* fen;
        const char* move;
        int captures, quiescence;
    };
    const Case cases[] = {
        {"4k3/8/8/3r4/8/8/8/3QK3 w - - 0 1", "d1d5", 28677, 28677},    // undefended rook
        {"4k3/8/4p3/3n4/4P3/8/8/4K3 w - - 0 1", "e4d5", 28674, 28674}, // pawn takes defended knight
        {"4k3/8/4p3/3n4/8/2N5/8/4K3 w - - 0 1", "c3d5", 20480, 20480}, // even trade
        {"4k3/8/4p3/3n4/8/8/8/3QK3 w - - 0 1", "d1d5", 16384, -1},     // queen for knight
        {"4k3/2p5/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", 16384, -1},    // en passant, defended
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", 28672, 28672},   // en passant, free
        {"4k3/8/8/8/8/8/1p4n1/R3K3 b - - 0 1", "b2a1q", 24576, 24576}, // promotion capture
        {"4k3/8/8/8/8/5p2/4K3/8 w - - 0 1", "e2f3", 28673, 28673},     // king counts 0
    };
    for (const Case& c : cases) {
        Board b = boardFrom(c.fen);
        int n = generateCaptures(b, list);
        EXPECT_EQ(scoreOf(list, n, c.move), c.captures) << c.fen;
        n = generateQuiescence(b, list);
        if (c.quiescence < 0) {
            for (int i = 0; i < n; ++i) EXPECT_NE(moveString(list.moves[i]), c.move) << c.fen;
        } else {
            EXPECT_EQ(scoreOf(list, n, c.move), c.quiescence) << c.fen;
        }
    }
}

TEST(CaptureScores, QuiescenceCutsLosingCapturesBehindTheTerminator) {
    // Qxd5 (defended knight) loses, exd5 wins, Qxh5 is free.
    Board b = boardFrom("4k3/8/4p3/3n3r/4P3/8/8/3QK3 w - - 0 1");
    MoveList list;
    int n = generateCaptures(b, list);
    EXPECT_EQ(texts(list, n), (std::vector<std::string>{"d1h5", "e4d5", "d1d5"}));
    n = generateQuiescence(b, list);
    EXPECT_EQ(texts(list, n), (std::vector<std::string>{"d1h5", "e4d5"}));
    EXPECT_EQ(list.moves[2], NO_MOVE);
    b = boardFrom(START_FEN);
    EXPECT_EQ(generateQuiescence(b, list), 0);
    EXPECT_EQ(list.moves[0], NO_MOVE);
}

TEST(QuietScores, KillersOfTheSideToMoveThenHistoryThenUnknownMoves) {
    WithOrderingTables ordering;
    Board b = boardFrom(START_FEN);
    Move e2e4 = legalMove(b, "e2e4");
    OrderingTables& t = *ordering.tables;
    t.killerMoves[1][0][0] = legalMove(b, "g1f3");
    t.killerMoves[1][0][1] = e2e4;                 // carries the double-push bit
    t.killerMoves[0][0][0] = legalMove(b, "b1c3"); // black's: no effect
    t.history[1][legalMove(b, "d2d4") & 4095] = U64{1} << 10;
    t.history[1][legalMove(b, "a2a3") & 4095] = 1;
    t.history[0][legalMove(b, "h2h3") & 4095] = 1 << 20; // black's: no effect
    MoveList list;
    int n = generateQuiet(b, list);
    EXPECT_EQ(scoreOf(list, n, "g1f3"), 8194);
    EXPECT_EQ(scoreOf(list, n, "e2e4"), 8193);
    EXPECT_EQ(scoreOf(list, n, "d2d4"), 4106);
    EXPECT_EQ(scoreOf(list, n, "a2a3"), 4096);
    EXPECT_EQ(scoreOf(list, n, "h2h3"), 5095);
    EXPECT_EQ(scoreOf(list, n, "b1c3"), 5095);
    EXPECT_EQ(moveString(list.moves[0]), "g1f3");
    EXPECT_EQ(moveString(list.moves[1]), "e2e4");
    EXPECT_EQ(moveString(list.moves[n - 2]), "d2d4");
    EXPECT_EQ(moveString(list.moves[n - 1]), "a2a3");

    // Killer slots are taken at gamePly mod 50.
    Board later = boardFrom("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 26");
    ASSERT_EQ(later.gamePly, 50);
    n = generateQuiet(later, list);
    EXPECT_EQ(scoreOf(list, n, "g1f3"), 8194);
}

TEST(SortMoves, ExactCombSortTieOrder) {
    MoveList list;
    const int scores[5] = {5, 1, 5, 2, 5};
    for (int i = 0; i < 5; ++i) {
        list.moves[i] = static_cast<Move>(i + 1);
        list.scores[i] = static_cast<std::int16_t>(scores[i]);
    }
    sortMoves(list, 5);
    // Not a stable sort: the gap-3 exchange carries move 5 ahead of move 3.
    const Move want[5] = {1, 5, 3, 4, 2};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(list.moves[i], want[i]) << i;
    // Scores are signed 16-bit.
    list.moves[0] = 1, list.scores[0] = -1;
    list.moves[1] = 2, list.scores[1] = 28672;
    sortMoves(list, 2);
    EXPECT_EQ(list.moves[0], 2);
}

TEST(ListBuilders, OrderedAndLegalListsFollowTheSortedGenerators) {
    Board b = boardFrom("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    MoveList caps, quiet, ordered;
    int nc = generateCaptures(b, caps);
    int nq = generateQuiet(b, quiet);
    int n = generateOrdered(b, ordered);
    ASSERT_EQ(n, nc + nq);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(ordered.moves[i], i < nc ? caps.moves[i] : quiet.moves[i - nc]);
        EXPECT_EQ(ordered.scores[i], 200 - i);
    }
    EXPECT_EQ(ordered.moves[n], NO_MOVE);
    EXPECT_EQ(ordered.scores[n], 0);
    Move legal[MOVELIST_CAPACITY];
    EXPECT_EQ(generateLegal(b, legal), 48);
    EXPECT_EQ(legal[48], NO_MOVE);
}

TEST(Castling, GeneratedInCheckButNotLegal) {
    Board b = boardFrom("4k3/4r3/8/8/8/8/8/R3K2R w KQ - 0 1");
    MoveList list;
    int n = generateQuiet(b, list);
    std::vector<std::string> quiet = texts(list, n);
    EXPECT_NE(std::find(quiet.begin(), quiet.end(), "e1g1"), quiet.end());
    EXPECT_NE(std::find(quiet.begin(), quiet.end(), "e1c1"), quiet.end());
    EXPECT_EQ(legalMove(b, "e1g1"), NO_MOVE);
    EXPECT_EQ(legalMove(b, "e1c1"), NO_MOVE);
    EXPECT_TRUE(inCheck(b));
}

TEST(Castling, AttackedCrossingOrLandingSquareRejectsOnlyThatSide) {
    struct Case {
        const char* fen;
        bool kingSide, queenSide;
    };
    const Case cases[] = {
        {"1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", true, true},  // b1 attacked: still fine
        {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", false, true},  // f1 crossed
        {"4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1", false, true}, // g1 landing
        {"3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", true, false},  // d1 crossed
        {"2r1k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", true, false}, // c1 landing
        {"r3k2r/8/8/8/8/8/8/4KR2 b kq - 0 1", false, true},  // black: f8 crossed
        {"r3k2r/8/8/8/8/7B/8/4K3 b kq - 0 1", true, false},  // black: c8 landing
    };
    for (const Case& c : cases) {
        Board b = boardFrom(c.fen);
        bool white = b.toMove == WHITE;
        EXPECT_EQ(legalMove(b, white ? "e1g1" : "e8g8") != NO_MOVE, c.kingSide) << c.fen;
        EXPECT_EQ(legalMove(b, white ? "e1c1" : "e8c8") != NO_MOVE, c.queenSide) << c.fen;
    }
    // The test itself, on the position after the move.
    Board b = boardFrom("4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    Board after = b;
    makeMove(after, 67);
    EXPECT_FALSE(isSquareAttacked(after, G1, WHITE));
    EXPECT_TRUE(leavesKingAttacked(after, 67));
}

// A board no FEN can make: 64 white queens on an empty-looking board facing
// 64 black pieces. Far more than 255 moves of every kind; nothing may be
// written past the lists, which sit at the end of their own allocations.
TEST(Capacity, GeneratorsNeverWritePastTheList) {
    Board b = boardFrom("8/8/8/8/8/8/8/8 w - - 0 1");
    b.pieceBB[QUEEN][0] = ~U64{0};
    b.colourBB[1] = ~U64{0};
    b.occupied = 0;
    std::unique_ptr<MoveList> list(new MoveList);
    EXPECT_EQ(generateQuiet(b, *list), MOVELIST_CAPACITY - 1);
    EXPECT_EQ(list->moves[MOVELIST_CAPACITY - 1], NO_MOVE);
    EXPECT_EQ(generateCaptures(b, *list), MOVELIST_CAPACITY - 1);
    EXPECT_LE(generateQuiescence(b, *list), MOVELIST_CAPACITY - 1);
    EXPECT_EQ(generateOrdered(b, *list), MOVELIST_CAPACITY - 1);
    std::unique_ptr<Move[]> legal(new Move[MOVELIST_CAPACITY]);
    EXPECT_LE(generateLegal(b, legal.get()), MOVELIST_CAPACITY - 1);
}
