// The split block: a node published in shared memory so that idle slave
// processes can search some of its moves. Only the record lives here; every
// field changes under the block's own mutex.
#pragma once

#include "board/board.h"
#include "board/repetition.h"

inline constexpr std::int32_t SPLIT_BLOCK_FREE = 9999; // owner of a free block
inline constexpr int ROOT_SPLIT_BLOCK = 1;
// Status of a move whose search was interrupted, or that a slave found
// better than alpha.
inline constexpr std::int16_t MOVE_INTERRUPTED = -16302;
inline constexpr std::int16_t MOVE_FAILED_HIGH = -16301;

struct SplitBlock {
    std::int32_t owner;     // owning process number, or SPLIT_BLOCK_FREE
    std::int32_t numSlaves; // slaves attached
    std::int32_t depth;     // depth of the split node
    Move move;              // move that led to the split node (0 for the root block)
    std::int32_t alpha;     // alpha at the split: the slaves' zero window
    std::int32_t beta;
    Board board;                            // the split node's position
    Move moveList[MOVELIST_CAPACITY];       // zero-terminated
    std::int16_t status[MOVELIST_CAPACITY]; // per move: searcher's alpha or a MOVE_* mark
    std::int32_t nextMoveIndex;             // next move to hand out
    RepetitionRing ring;                    // the owner's repetition ring
    std::int32_t stopFlag;                  // nonzero: every searcher of the block stops
    std::int32_t number;                    // the block's own number
};
