#include "app/announce.h"

#include <cstdio>

#include "board/movegen.h"
#include "board/notation.h"
#include "smp/locks.h"
#include "smp/shared_state.h"

bool isLegalMove(const Board& board, Move move) {
    if (move == NO_MOVE) return false;
    Move legal[MOVELIST_CAPACITY];
    int n = generateLegal(board, legal);
    for (int i = 0; i < n; ++i) {
        if (legal[i] == move) return true;
    }
    return false;
}

const char* protocolMoveText(Move move, char* buf) {
    bool uci = pShared && sharedLoad(pShared->protocol) == PROTOCOL_UCI;
    return formatMove(move, buf, uci);
}

void announceMove(Move move, const Board& after, const TranspositionTable& tt) {
    const bool uci = sharedLoad(pShared->protocol) == PROTOCOL_UCI;
    char text[16];
    lockOutput();
    std::fputs(uci ? "bestmove " : "move ", stdout);
    std::fputs(formatMove(move, text, uci), stdout);
    if (uci && sharedLoad(pShared->ponderEnabled)) {
        Move reply = tt.usable() ? tt.bestMove(after.boardkey) : NO_MOVE;
        std::fputs(" ponder ", stdout);
        std::fputs(isLegalMove(after, reply) ? formatMove(reply, text, true) : "noMove", stdout);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
    unlockOutput();
}
