#include "app/announce.h"

#include "app/output.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/shared_state.h"
#include "smp/locks.h"

const char* protocolMoveText(Move move, char* buf) {
    bool uci = pShared && sharedLoad(pShared->protocol) == PROTOCOL_UCI;
    return formatMove(move, buf, uci);
}

void announceMove(Move move, const Board& after, const TranspositionTable& tt) {
    const bool uci = sharedLoad(pShared->protocol) == PROTOCOL_UCI;
    char text[16], replyText[16];
    const char* ponder = "";
    if (uci && sharedLoad(pShared->ponderEnabled)) {
        Move reply = tt.usable() ? tt.bestMove(after.boardkey) : NO_MOVE;
        ponder = isLegalMove(after, reply) ? formatMove(reply, replyText, true) : "noMove";
    }
    lockOutput();
    say("%s%s%s%s\n", uci ? "bestmove " : "move ", formatMove(move, text, uci),
        *ponder ? " ponder " : "", ponder);
    unlockOutput();
}

void printBoardLocked(const Board& board) {
    lockOutput();
    printBoard(board);
    unlockOutput();
}
