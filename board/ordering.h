// The history and killer tables that order quiet moves. The record lives in
// shared memory (inside SharedState) so that all search processes share it;
// the move generator reaches it through the pointer given to initBoardTables.
#pragma once

#include "board/types.h"

struct OrderingTables {
    U64 history[2][4096];               // [colour index][from | to << 6]
    Move killerMoves[2][50][2];         // [colour index][gamePly % 50][slot]
    std::int16_t killerScores[2][50][2];
};
