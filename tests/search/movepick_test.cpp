// Move ordering: the picker's stages, the killer and history tables and
// their update rules, and the node trying the table's move first.
#include <cstring>
#include <vector>

#include "board/makemove.h"
#include "search/movepick.h"
#include "search_fixture.h"

namespace {

std::vector<Move> pickAll(const Board& b) {
    MovePicker picker;
    picker.init(b);
    std::vector<Move> out;
    for (Move m = picker.next(); m != NO_MOVE; m = picker.next()) out.push_back(m);
    return out;
}

std::vector<Move> generated(const Board& b) {
    std::vector<Move> out;
    MoveList list;
    generateCaptures(b, list);
    for (int i = 0; list.moves[i] != NO_MOVE; ++i) out.push_back(list.moves[i]);
    generateQuiet(b, list);
    for (int i = 0; list.moves[i] != NO_MOVE; ++i) out.push_back(list.moves[i]);
    return out;
}

class MovePickerTest : public SearchTest {};

TEST_F(MovePickerTest, HandsOutCapturesThenQuietMovesInGeneratedOrder) {
    // A white queen can take an undefended black queen; a pawn can promote.
    setPosition("4k3/1P6/8/3q4/8/8/3Q4/4K3 w - - 0 1");
    std::vector<Move> picked = pickAll(board());
    EXPECT_EQ(picked, generated(board()));
    ASSERT_FALSE(picked.empty());
    // 28672 + 900 / 100 for the queen capture beats 24576 for the promotion.
    EXPECT_EQ(picked[0], move("d2d5"));
    EXPECT_EQ(picked[1], move("b7b8Q"));

    // Without captures the first move is the first quiet move generated.
    setPosition(START_FEN);
    MoveList quiet;
    generateQuiet(board(), quiet);
    MovePicker picker;
    picker.init(board());
    EXPECT_EQ(picker.next(), quiet.moves[0]);
    EXPECT_EQ(pickAll(board()).size(), 20u);
}

TEST_F(MovePickerTest, PickerWithNoMovesKeepsAnsweringNone) {
    setPosition(
        "k7/1Q6/1K6/8/8/8/8/8 b - - 0 1"); // only king moves, all illegal, still pseudo-legal
    MovePicker picker;
    picker.init(board());
    int n = 0;
    while (picker.next() != NO_MOVE) ++n;
    EXPECT_GT(n, 0);
    EXPECT_EQ(picker.next(), NO_MOVE);
    EXPECT_EQ(picker.next(), NO_MOVE);
}

TEST_F(MovePickerTest, FillRestPutsEveryMoveNotYetHandedOutBehindTheIndex) {
    setPosition("4k3/1P6/8/3q4/8/8/3Q4/4K3 w - - 0 1");
    std::vector<Move> all = generated(board());

    MovePicker fresh;
    fresh.init(board());
    fresh.fillRest();
    EXPECT_EQ(fresh.nextIndex(), 0);
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(fresh.list().moves[i], all[i]);
    EXPECT_EQ(fresh.list().moves[all.size()], NO_MOVE);

    MovePicker started;
    started.init(board());
    EXPECT_EQ(started.next(), all[0]);
    started.fillRest();
    std::vector<Move> rest;
    for (int i = started.nextIndex(); started.list().moves[i] != NO_MOVE; ++i)
        rest.push_back(started.list().moves[i]);
    EXPECT_EQ(rest, std::vector<Move>(all.begin() + 1, all.end()));
    // The picker goes on from the same place.
    EXPECT_EQ(started.next(), all[1]);

    MovePicker quietStage;
    quietStage.init(board());
    for (size_t i = 0; i + 1 < all.size(); ++i) quietStage.next();
    quietStage.fillRest();
    EXPECT_EQ(quietStage.next(), all.back());
    EXPECT_EQ(quietStage.next(), NO_MOVE);
}

TEST_F(MovePickerTest, KillerUpdateRules) {
    OrderingTables& t = shared().ordering;
    const Move a = quietMove("e2", "e1"), b = quietMove("d2", "d1"), c = quietMove("c2", "c1");
    const int ply = 57; // slot 7

    updateHistoryAndKillers(t, a, 10, ply, WHITE, EMPTY);
    EXPECT_EQ(killerTest(t, a, ply, WHITE), 2);
    EXPECT_EQ(killerTest(t, a, ply + 50, WHITE), 2); // the slot wraps at 50 plies
    EXPECT_EQ(killerTest(t, a, ply + 1, WHITE), 0);  // per ply
    EXPECT_EQ(killerTest(t, a, ply, BLACK), 0);      // per side

    updateHistoryAndKillers(t, b, 20, ply, WHITE, EMPTY);
    EXPECT_EQ(killerTest(t, b, ply, WHITE), 2);
    EXPECT_EQ(killerTest(t, a, ply, WHITE), 1);

    // A lower score than slot 0's changes nothing.
    updateHistoryAndKillers(t, c, 19, ply, WHITE, EMPTY);
    EXPECT_EQ(killerTest(t, c, ply, WHITE), 0);
    EXPECT_EQ(killerTest(t, a, ply, WHITE), 1);

    // The same move again at an equal score fills both slots.
    updateHistoryAndKillers(t, b, 20, ply, WHITE, EMPTY);
    EXPECT_EQ(t.killerMoves[colourIndex(WHITE)][7][0], b);
    EXPECT_EQ(t.killerMoves[colourIndex(WHITE)][7][1], b);

    // A capture touches neither table.
    OrderingTables before = t;
    updateHistoryAndKillers(t, c, 500, ply, WHITE, KNIGHT);
    EXPECT_EQ(std::memcmp(&before, &t, sizeof t), 0);

    clearKillers(t);
    for (int s = 0; s < 2; ++s)
        for (int p = 0; p < 50; ++p)
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(t.killerMoves[s][p][k], NO_MOVE);
                EXPECT_EQ(t.killerScores[s][p][k], -SCORE_MATE);
            }
}

TEST_F(MovePickerTest, HistoryIsKeptPerSideAndFromToPair) {
    OrderingTables& t = shared().ordering;
    const Move m = quietMove("g1", "f3");
    updateHistoryAndKillers(t, m, 0, 3, WHITE, EMPTY);
    updateHistoryAndKillers(t, m | DOUBLE_PUSH_FLAG, 0, 9, WHITE, EMPTY);
    EXPECT_EQ(historyCount(t, m, WHITE), 2u);
    EXPECT_EQ(historyCount(t, m, BLACK), 0u);
    EXPECT_EQ(t.history[1][m & 4095], 2u);
    clearHistory(t);
    EXPECT_EQ(historyCount(t, m, WHITE), 0u);
}

TEST_F(MovePickerTest, KillersLeadTheQuietMovesOfTheirPlyAndSideOnly) {
    setPosition(START_FEN);
    OrderingTables& t = shared().ordering;
    const Move first = move("h2h3"), second = move("b1c3");
    updateHistoryAndKillers(t, second, 5, board().gamePly, WHITE, EMPTY);
    updateHistoryAndKillers(t, first, 5, board().gamePly, WHITE, EMPTY);
    std::vector<Move> picked = pickAll(board());
    ASSERT_GE(picked.size(), 2u);
    EXPECT_EQ(picked[0], first);  // slot 0
    EXPECT_EQ(picked[1], second); // slot 1

    // The same killers stored for Black, or for the next ply, change nothing.
    clearKillers(t);
    clearHistory(t);
    std::vector<Move> plain = pickAll(board());
    updateHistoryAndKillers(t, first, 5, board().gamePly, BLACK, EMPTY);
    updateHistoryAndKillers(t, first, 5, board().gamePly + 1, WHITE, EMPTY);
    clearHistory(t);
    EXPECT_EQ(pickAll(board()), plain);
}

TEST_F(MovePickerTest, MovesWithoutHistoryComeBeforeMovesWithHistory) {
    setPosition(START_FEN);
    OrderingTables& t = shared().ordering;
    const Move credited = move("a2a3");
    // A quiet move credited for Black's side only: White's order stays.
    std::vector<Move> plain = pickAll(board());
    t.history[colourIndex(BLACK)][credited & 4095] = 40;
    EXPECT_EQ(pickAll(board()), plain);
    // Credited for White: it falls behind every move still at zero.
    t.history[colourIndex(WHITE)][credited & 4095] = 40;
    std::vector<Move> picked = pickAll(board());
    EXPECT_EQ(picked.back(), credited);
}

TEST_F(MovePickerTest, NodeTriesTheTableMoveBeforeThePickersMoves) {
    // Every move fails high against a window at the mate score, so the move
    // the node tries first is the one it stores as its cut-off move.
    setPosition("4k3/1P6/8/3q4/8/8/3Q4/4K3 w - - 0 1");
    shared().useNullMove = 0;
    const U64 key = board().boardkey;

    node(1, -SCORE_MATE, -SCORE_MATE + 1);
    EXPECT_EQ(ctx().tt.bestMove(key), move("d2d5")); // the best capture

    env.clearTables();
    const Move quiet = move("e1f1");
    // A shallow entry: it gives no cut-off, only the move.
    ctx().tt.store(key, 0, board().gamePly, 0, TT_UPPER, quiet);
    node(1, -SCORE_MATE, -SCORE_MATE + 1);
    EXPECT_EQ(ctx().tt.bestMove(key), quiet);
}

TEST_F(MovePickerTest, ACompletedIterationLeavesNoKillersButKeepsHistory) {
    setPosition("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
    RootReport report;
    searchToDepth(5, &report);
    EXPECT_EQ(report.depth, 5);
    const OrderingTables& t = shared().ordering;
    for (int s = 0; s < 2; ++s)
        for (int p = 0; p < 50; ++p)
            for (int k = 0; k < 2; ++k) EXPECT_EQ(t.killerMoves[s][p][k], NO_MOVE);
    U64 credits = 0;
    for (int s = 0; s < 2; ++s)
        for (U64 c : t.history[s]) credits += c;
    EXPECT_GT(credits, 0u);
}

} // namespace
