// Shared helpers for the board tests: tables built once, boards from FEN,
// moves from coordinate text without going through the notation layer.
#pragma once

#include <string>

#include "board/board.h"
#include "board/movegen.h"
#include "board/tables.h"

inline void ensureBoardTables() {
    static const bool built = [] {
        Board b;
        initBoardTables(nullptr, b);
        return true;
    }();
    (void)built;
}

inline Board boardFrom(const char* fen) {
    ensureBoardTables();
    Board b;
    setFromFen(b, fen);
    return b;
}

inline int squareAt(const char* text) {
    return squareOf(text[0] - 'a', text[1] - '1');
}

// "e2e4", "e7e8q": from, to and promotion only (no double-push flag).
inline Move plainMove(const char* text) {
    int promo = 0;
    switch (text[4]) {
    case 'n':
        promo = KNIGHT;
        break;
    case 'b':
        promo = BISHOP;
        break;
    case 'r':
        promo = ROOK;
        break;
    case 'q':
        promo = QUEEN;
        break;
    default:
        break;
    }
    return makeMoveCode(squareAt(text), squareAt(text + 2), promo);
}

// The legal move of the position that the text names (flags included), or 0.
inline Move legalMove(const Board& b, const char* text) {
    Move moves[MOVELIST_CAPACITY];
    int n = generateLegal(b, moves);
    Move want = plainMove(text);
    for (int i = 0; i < n; ++i)
        if ((moves[i] & 0x7FFF) == want) return moves[i];
    return NO_MOVE;
}

inline std::string moveString(Move m) {
    std::string s;
    s += fileChar(moveFrom(m));
    s += rankChar(moveFrom(m));
    s += fileChar(moveTo(m));
    s += rankChar(moveTo(m));
    if (movePromo(m)) s += " nbrq"[movePromo(m)];
    return s;
}

inline std::string fenOf(const Board& b) {
    char buf[FEN_BUFFER_SIZE];
    writeFen(b, buf);
    return buf;
}
