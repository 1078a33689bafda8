// Move announcements in the protocol's notation. Used by the front end and
// by the search controller, which share one standard output.
#pragma once

#include "board/board.h"
#include "search/tt.h"

// Under the output lock: "bestmove" (UCI) or "move" (xboard) and the move;
// in UCI with pondering on also " ponder " and the table's move for the
// position after it, or "noMove". after is the board with move made.
void announceMove(Move move, const Board& after, const TranspositionTable& tt);
// Writes a move as the protocol in use wants it: UCI with lower-case
// promotion letters. buf holds at least 8 bytes.
const char* protocolMoveText(Move move, char* buf);
// printBoard under the output lock.
void printBoardLocked(const Board& board);
