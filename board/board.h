// The position record: one chess position, copied whole to play a move on the
// copy (there is no unmake). Nothing in it points elsewhere, so it can live in
// shared memory and be copied between processes.
#pragma once

#include "board/types.h"

struct Board {
    std::int32_t lazy;            // material balance, white minus black
    std::int8_t squares[64];      // mailbox: PieceKind per square
    std::int8_t toMove;           // +1 white, -1 black
    std::int32_t wMat;            // white material (kings count 0)
    std::int32_t bMat;            // black material
    std::int32_t totalMat;        // wMat + bMat
    std::int8_t pieceCount[2][5]; // [0 black, 1 white][PAWN..QUEEN]; the PAWN column is not kept
    std::int8_t kingSq[2];        // [0 white, 1 black]
    std::int8_t enpassant;        // square passed over by a double push, 0 = none
    std::uint8_t castle;          // CASTLE_* bits
    std::int32_t halfmoveClock;   // plies since the last capture or pawn move
    std::int32_t gamePly;         // half-moves since the game's start
    std::int32_t rootPly;         // gamePly of the search's root (set by the search)
    std::int32_t positional;      // full score minus lazy of the last full evaluation
    std::uint8_t recaptureSq;     // to-square of an equal-value trade, else 255
    std::uint8_t nullMoveCount;   // null moves in a row
    U64 boardkey;                 // Zobrist key
    U64 pieceBB[6][2];            // [kind][0 white, 1 black]
    U64 colourBB[2];              // [0 white, 1 black]
    U64 occupied;
};

inline constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
inline constexpr int FEN_BUFFER_SIZE = 128;

// Replaces the whole position from a FEN (or EPD) text. Lenient: never reports
// an error and never reads past the text's terminating zero. Also resets the
// process's repetition ring and evaluates the position once (sets positional).
void setFromFen(Board& board, const char* text);
void setStartPosition(Board& board);
// Writes the six FEN fields and a terminating zero into buf (FEN_BUFFER_SIZE).
void writeFen(const Board& board, char* buf);
// Forces the side to move (+1 / -1), toggling the side key if it changes.
void setSideToMove(Board& board, int side);
// Debug print of the board, its flags, evaluation and FEN.
void printBoard(const Board& board);

// The evaluation registers itself here at start-up so that setFromFen and
// printBoard can score a position without the board depending on eval/.
// Until one is registered the score is 0.
using EvaluateHook = int (*)(Board& board, int alpha, int beta);
void setEvaluateHook(EvaluateHook hook);
int evaluateThroughHook(Board& board, int alpha, int beta);
