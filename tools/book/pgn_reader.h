// Games from PGN text and positions from a position list, for the book writer.
#pragma once

#include <string>
#include <vector>

#include "tools/book/book_writer.h"

struct PgnGame {
    std::string fen = START_FEN;
    std::vector<Move> moves;
    GameResult result = GameResult::DRAW;
    bool finished = false; // a result other than "*"
};

// Every game of the text; a game stops at the first move it cannot read.
std::vector<PgnGame> readPgn(const std::string& text);

// Adds the lines of a position list to the writer:
//   FEN ; e2e4 d2d4 ... ; total lost won drawn [flag]
// Returns the number of lines taken; bad lines are reported on stderr.
int addPositionList(BookWriter& writer, const std::string& text);
