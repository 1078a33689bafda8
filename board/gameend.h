// Game end detection for the front end, with the result lines.
#pragma once

#include "board/board.h"

// Prints the result line and returns true when the side to move has no legal
// move or material is insufficient.
bool isGameOver(const Board& board);
// After every move of the game: threefold repetition, fifty-move rule, then isGameOver.
bool checkGameEnd(const Board& board);
