#include "app/controller_tasks.h"

#include <cstdio>

#include "app/announce.h"
#include "app/output.h"
#include "board/gameend.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/repetition.h"
#include "search/root.h"
#include "smp/locks.h"
#include "smp/search_process.h"
#include "tools/epd_runner.h"
#include "tools/tuner.h"

namespace {

bool isRealMove(Move m) {
    return m != NO_MOVE && m != NO_MOVES_MATED && m != NO_MOVES_STALEMATE;
}

// Searches the position after the expected reply (task 2; the table's move
// for the position) or the position itself (task 3), until the front end
// stops it. armTimer: the search's stopwatch is set here; a task handed over
// for pondering comes with it set by the front end, which may already have
// set its limit to 0 to stop it.
void startPondering(SearchProcess& p, bool armTimer) {
    SharedState& s = *p.pShared;
    const TranspositionTable& tt = p.context.tt;
    Move guess = tt.bestMove(p.board.boardkey);
    Board position = p.board;
    const bool given = sharedLoad(s.allSearchprocesEnabled) == TASK_PONDER_GIVEN;
    if (!isLegalMove(p.board, guess)) {
        guess = NO_MOVE;
    } else if (!given) {
        makeMove(position, guess);
    }
    char text[16];
    lockOutput();
    if (guess != NO_MOVE) {
        say("===== Start Pondering moveGuess=%s=====\n", protocolMoveText(guess, text));
    } else {
        say("===== Start Pondering: no ponderingmove, start filling table =====\n");
    }
    unlockOutput();

    s.ponderKey = position.boardkey;
    s.ponderStart = nowMs();
    if (armTimer) {
        s.timer1.setLimit(10000000);
        s.timer1.start();
    }
    Move result = searchRoot(p.context, position);
    sharedStore(s.ponderResult, isRealMove(result) ? result : NO_MOVE);
}

// Task 1: find the engine's move, announce it, play it on the controller's
// board and, in xboard play with pondering on, go on pondering.
void thinkAndPlay(SearchProcess& p) {
    SharedState& s = *p.pShared;
    Move m = searchRoot(p.context, p.board);
    if (sharedLoad(s.allSearchprocesEnabled) == TASK_STOP) return; // stopped: no move
    const bool uci = sharedLoad(s.protocol) == PROTOCOL_UCI;
    if (!isRealMove(m)) {
        // No legal move: the game is over. A UCI GUI still waits for an answer.
        sharedStore(s.engineMove, NO_MOVE);
        if (uci) {
            lockOutput();
            say("bestmove 0000\n");
            unlockOutput();
        } else {
            checkGameEnd(p.board);
        }
        return;
    }
    sharedStore(s.engineMove, m);
    s.gameMoves[gameMoveSlot(p.board.gamePly)] = m;
    makeMove(p.board, m);
    announceMove(m, p.board, p.context.tt);
    if (checkGameEnd(p.board)) {
        if (sharedLoad(s.postThinking)) printBoardLocked(p.board);
        s.gameClock.stop();
        return;
    }
    s.gameClock.press(1);
    if (sharedLoad(s.postThinking)) printBoardLocked(p.board);
    if (!uci && sharedLoad(s.ponderEnabled) && sharedLoad(s.allSearchprocesEnabled) != TASK_STOP) {
        startPondering(p, true);
    }
}

// Tasks 4-6: the developer tools, on the controller's own board, with the
// number the front end handed over (0 for the tool's default).
void runTool(SearchProcess& p, std::int32_t task) {
    ToolSearch tool{p.context, p.evalHash, p.board};
    const int argument = sharedLoad(p.pShared->toolArgument);
    if (task == TASK_TUNE) {
        tuneParameters(tool, argument);
    } else if (task == TASK_TUNE_VARIANT) {
        scanDepths(tool, argument);
    } else {
        runEpdSuite(tool, argument);
    }
}

} // namespace

void searchControllerLoop(SearchProcess& p) {
    SharedState& s = *p.pShared;
    // Attached to every shared object: the front end may remove their names.
    lockState();
    s.processState[0] = PROCESS_IDLE;
    unlockState();
    while (sharedLoad(s.running) == 1) {
        if (p.startSearchEvent.wait(platform::NO_TIMEOUT) == platform::WaitResult::Failed) break;
        if (sharedLoad(s.running) == 0) break;
        p.board = s.rootBoard;
        repetitionRing = s.rootRing;
        const std::int32_t task = sharedLoad(s.allSearchprocesEnabled);
        switch (task) {
        case TASK_PONDER:
        case TASK_PONDER_GIVEN:
            sharedStore(s.engineMove, NO_MOVE);
            if (sharedLoad(s.ponderEnabled)) startPondering(p, false);
            break;
        case TASK_TUNE:
        case TASK_TUNE_VARIANT:
        case TASK_EPD_SUITE:
            runTool(p, task);
            break;
        default:
            thinkAndPlay(p);
            break;
        }
        p.searchEndedEvent.signal();
    }
    wakeAllSlaves(p);
}
