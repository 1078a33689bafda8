// Game end detection for the front end, with the result lines.
#pragma once

#include "board/board.h"

// The result line ("1-0 {white mates}\n", ...) when the side to move has no
// legal move or material is insufficient, else nullptr. Prints nothing.
const char* gameOverResult(const Board& board);
// After every move of the game: threefold repetition, fifty-move rule, then
// gameOverResult. Prints nothing.
const char* gameEndResult(const Board& board);

// The same two tests, printing the result line; true when the game is over.
bool isGameOver(const Board& board);
bool checkGameEnd(const Board& board);
