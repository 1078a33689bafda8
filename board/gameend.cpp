// Game end for the front end: the draws by rule first, then mate, stalemate
// and insufficient material, each announced by the result line the GUI reads.
#include "board/gameend.h"

#include <cstdio>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/movegen.h"
#include "board/repetition.h"

namespace {

// 0 or 1 by the colour of the square (a1 and b1 differ, a1 and a2 differ).
int squareColour(int sq) {
    return ((sq >> 3) + (sq & 7)) & 1;
}

// Material that cannot mate: bare kings, a single minor piece, or one bishop
// each on squares of the same colour.
bool isInsufficientMaterial(const Board& board) {
    switch (popcount(board.occupied)) {
    case 2:
        return true;
    case 3:
        return (board.pieceBB[KNIGHT][0] | board.pieceBB[KNIGHT][1] | board.pieceBB[BISHOP][0] |
                board.pieceBB[BISHOP][1]) != 0;
    case 4: {
        const U64 white = board.pieceBB[BISHOP][0], black = board.pieceBB[BISHOP][1];
        return white && black && squareColour(msb(white)) == squareColour(msb(black));
    }
    default:
        return false;
    }
}

} // namespace

const char* gameOverResult(const Board& board) {
    Move legal[MOVELIST_CAPACITY];
    if (generateLegal(board, legal) > 0)
        return isInsufficientMaterial(board) ? "1/2-1/2 {insufficient Material}\n" : nullptr;
    if (inCheck(board))
        return board.toMove == WHITE ? "0-1 {black mates}\n" : "1-0 {white mates}\n";
    return "1/2-1/2 {stalemate}\n";
}

const char* gameEndResult(const Board& board) {
    if (repetitionRing.isThreefold(board.gamePly, board.halfmoveClock))
        return "1/2-1/2 {draw by triple repetition}\n";
    if (board.halfmoveClock > 99) return "1/2-1/2 {50 moves rule}\n";
    return gameOverResult(board);
}

namespace {
bool printResult(const char* result) {
    if (result) std::fputs(result, stdout);
    return result != nullptr;
}
} // namespace

bool isGameOver(const Board& board) {
    return printResult(gameOverResult(board));
}

bool checkGameEnd(const Board& board) {
    return printResult(gameEndResult(board));
}
