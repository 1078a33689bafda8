#include "search/movepick.h"

#include "board/movegen.h"

void MovePicker::init(const Board& board) {
    board_ = &board;
    next_ = 0;
    stage_ = STAGE_NONE;
    list_.moves[0] = NO_MOVE;
}

Move MovePicker::next() {
    for (;;) {
        Move m = list_.moves[next_];
        if (m != NO_MOVE) {
            ++next_;
            return m;
        }
        if (stage_ == STAGE_NONE) {
            generateCaptures(*board_, list_);
            stage_ = STAGE_CAPTURES;
        } else if (stage_ == STAGE_CAPTURES) {
            generateQuiet(*board_, list_);
            stage_ = STAGE_QUIET;
        } else {
            return NO_MOVE;
        }
        next_ = 0;
    }
}

void MovePicker::fillRest() {
    if (stage_ == STAGE_NONE) {
        generateOrdered(*board_, list_);
        next_ = 0;
    } else if (stage_ == STAGE_CAPTURES) {
        // Quiet moves go behind the captures still waiting in the list.
        int end = next_;
        while (end < MOVELIST_CAPACITY - 1 && list_.moves[end] != NO_MOVE) ++end;
        MoveList quiet;
        int n = generateQuiet(*board_, quiet);
        for (int i = 0; i < n && end < MOVELIST_CAPACITY - 1; ++i, ++end) {
            list_.moves[end] = quiet.moves[i];
            list_.scores[end] = quiet.scores[i];
        }
        list_.moves[end] = NO_MOVE;
        list_.scores[end] = 0;
    }
    stage_ = STAGE_QUIET;
}

void clearHistory(OrderingTables& tables) {
    for (auto& side : tables.history)
        for (U64& c : side) c = 0;
}

void clearKillers(OrderingTables& tables) {
    for (int s = 0; s < 2; ++s)
        for (int p = 0; p < 50; ++p)
            for (int k = 0; k < 2; ++k) {
                tables.killerMoves[s][p][k] = NO_MOVE;
                tables.killerScores[s][p][k] = -SCORE_MATE;
            }
}

int killerTest(const OrderingTables& tables, unsigned move, int gamePly, int side) {
    const Move* k = tables.killerMoves[colourIndex(side)][killerSlot(gamePly)];
    Move m = static_cast<Move>(move);
    if (m == k[0]) return 2;
    if (m == k[1]) return 1;
    return 0;
}

void updateHistoryAndKillers(OrderingTables& tables, unsigned move, int score, int gamePly,
                             int side, int toSquareContent) {
    if (toSquareContent != EMPTY) return;
    int ci = colourIndex(side);
    tables.history[ci][move & 4095] += 1;
    int p = killerSlot(gamePly);
    Move* km = tables.killerMoves[ci][p];
    std::int16_t* ks = tables.killerScores[ci][p];
    if (score >= ks[0]) {
        km[1] = km[0];
        ks[1] = ks[0];
        km[0] = static_cast<Move>(move);
        ks[0] = static_cast<std::int16_t>(score);
    }
}
