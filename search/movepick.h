// Move ordering for the full-width search: the staged move picker and the
// history and killer tables that rank quiet moves.
#pragma once

#include "board/board.h"
#include "board/ordering.h"

// Hands out the moves of one node lazily: captures (and queen promotions)
// first, generated on the first call, then quiet moves, generated only when
// the captures are used up. Each group arrives sorted by its ordering keys.
// The hash move is the node's own business; the picker may return it again.
class MovePicker {
  public:
    static constexpr int STAGE_NONE = 1;     // nothing generated yet
    static constexpr int STAGE_CAPTURES = 2; // the list holds the captures
    static constexpr int STAGE_QUIET = 3;    // the list holds the quiet moves (or all moves)

    void init(const Board& board);
    // The next move, or 0 when the node has none left.
    Move next();
    // Puts every move not yet handed out into the list, from nextIndex() on,
    // so that a split block can take them over.
    void fillRest();

    const MoveList& list() const { return list_; }
    // Index of the first list entry not yet handed out.
    int nextIndex() const { return next_; }
    int stage() const { return stage_; }

  private:
    const Board* board_ = nullptr;
    int next_ = 0;
    int stage_ = STAGE_NONE;
    MoveList list_;
};

// Both tables live in shared memory; writers race without locks, which only
// blurs the ordering.
void clearHistory(OrderingTables& tables);
void clearKillers(OrderingTables& tables);

// 2 when move is the first killer of this ply and side, 1 for the second, else 0.
int killerTest(const OrderingTables& tables, unsigned move, int gamePly, int side);

// Credit for a move that caused a cut-off or raised alpha. Captures (a piece
// stood on the to-square before the move) are left out: they are ordered by
// material, not by history.
void updateHistoryAndKillers(OrderingTables& tables, unsigned move, int score, int gamePly,
                             int side, int toSquareContent);

inline U64 historyCount(const OrderingTables& tables, unsigned move, int side) {
    return tables.history[colourIndex(side)][move & 4095];
}
