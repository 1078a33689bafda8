// Move text: coordinate form for the protocols, SAN for EPD suites.
#pragma once

#include "board/board.h"

// Writes the coordinate form (e2e4, e7e8Q, NULLMOVE) to standard output.
void printMove(unsigned move);
// Longest coordinate text ("NULLMOVE") with its terminating zero.
inline constexpr int MOVE_TEXT_SIZE = 9;

// Formats the coordinate form into buf (MOVE_TEXT_SIZE bytes); returns buf.
// Promotion letters are upper case unless lowerPromotion is set (UCI).
char* formatMove(unsigned move, char* buf, bool lowerPromotion = false);
// Each move followed by a space, then a newline.
void printMoveList(const Move* list);
// The legal move the text names, or 0.
Move parseCoordinateMove(const Board& board, const char* text);
Move parseSanMove(const Board& board, const char* text);
