// Book moves: one byte each, naming a piece (letter and number among the
// mover's pieces of that letter, counted file by file from a1) and its step,
// in the normalised orientation of a BookBoard.
#pragma once

#include "book/book_board.h"

struct MoveCode {
    char letter;  // 'P' .. 'K'; 0 for a code that stands for no move
    int number;   // 1-based
    int rankStep; // 0..7 (taken mod 8)
    int fileStep; // 0..7
};

inline constexpr int CODE_CASTLE_KING_SIDE = 0x6B;
inline constexpr int CODE_CASTLE_QUEEN_SIDE = 0xF6;

const MoveCode& moveCodeEntry(int code);

struct BookMove {
    int fromFile, fromRank, toFile, toRank;
};

// The squares of a code on this board; false for a "no move" code or a
// numbered piece that is not on the board.
bool decodeMove(const BookBoard& board, int code, BookMove& move);
// Plays the move on the board and leaves it normalised for the opponent, with
// its key encoded.
void applyMove(BookBoard& board, const BookMove& move);
// Coordinate text of the move in the real position (e7e5, a2a1Q for Black's
// promotion): 5 or 6 bytes with the terminating zero.
void bookMoveText(const BookBoard& board, const BookMove& move, char* text);
// The code of a normalised move, or -1 when no code holds it (a third piece
// of a kind, an underpromotion, the missing queen step).
int findMoveCode(const BookBoard& board, const BookMove& move);
// The normalised move of a real-board move (files and ranks 0-7).
BookMove normaliseMove(const BookBoard& board, int fromFile, int fromRank, int toFile, int toRank);
