// The history and killer tables that order quiet moves. The record lives in
// shared memory (inside SharedState) so that all search processes share it;
// the move generator reaches it through the pointer given to initBoardTables.
#pragma once

#include "board/types.h"

struct OrderingTables {
    U64 history[2][4096];       // [colour index][from | to << 6]
    Move killerMoves[2][50][2]; // [colour index][gamePly % 50][slot]
    std::int16_t killerScores[2][50][2];
};

// The killer row of a game ply. A FEN's move number keeps plies positive,
// but a negative one must still land inside the table.
inline int killerSlot(int gamePly) {
    int p = gamePly % 50;
    return p < 0 ? p + 50 : p;
}
