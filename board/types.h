// Value types shared by every layer: moves, move lists, piece kinds, squares
// and the score constants that the search and the protocols agree on.
#pragma once

#include <cstdint>

using U64 = std::uint64_t;

// A move packs from-square (bits 0-5), to-square (bits 6-11), promotion kind
// (bits 12-14: 0 none, 1 knight .. 4 queen) and the double-push flag (bit 15).
using Move = std::uint16_t;

inline constexpr Move NO_MOVE = 0;
inline constexpr Move NULL_MOVE = 65;           // from 1, to 1
inline constexpr Move NO_BEST_MOVE_MARK = 325;  // searched, none raised alpha
inline constexpr Move NO_MOVES_MATED = 130;     // root: checkmated
inline constexpr Move NO_MOVES_STALEMATE = 195; // root: stalemated
inline constexpr Move DOUBLE_PUSH_FLAG = 0x8000;

inline constexpr int moveFrom(unsigned m) {
    return m & 63;
}
inline constexpr int moveTo(unsigned m) {
    return (m >> 6) & 63;
}
inline constexpr int movePromo(unsigned m) {
    return (m >> 12) & 7;
}
inline constexpr Move makeMoveCode(int from, int to, int promo = 0) {
    return static_cast<Move>(from | (to << 6) | (promo << 12));
}

// Piece kinds; colour lives in the colour bitboards.
enum PieceKind : std::int8_t { PAWN = 0, KNIGHT, BISHOP, ROOK, QUEEN, KING, EMPTY };

// The kind a letter names in FEN and move texts (either case), -1 for none.
inline constexpr int pieceKindOfLetter(char c) {
    switch (c | 0x20) {
    case 'p':
        return PAWN;
    case 'n':
        return KNIGHT;
    case 'b':
        return BISHOP;
    case 'r':
        return ROOK;
    case 'q':
        return QUEEN;
    case 'k':
        return KING;
    default:
        return -1;
    }
}

inline constexpr int WHITE = 1; // toMove values
inline constexpr int BLACK = -1;
// Index used by the Zobrist keys, history, killers and [colour][..] masks:
// 0 = black, 1 = white.
inline constexpr int colourIndex(int side) {
    return (side + 1) / 2;
}

// Squares: 0 = h1, 7 = a1, 56 = h8, 63 = a8.
inline constexpr int squareOf(int fileFromA, int rank) {
    return 8 * rank + (7 - fileFromA);
}
inline constexpr int rankOf(int sq) {
    return sq >> 3;
}
inline constexpr char fileChar(int sq) {
    return static_cast<char>('h' - (sq & 7));
}
inline constexpr char rankChar(int sq) {
    return static_cast<char>('1' + (sq >> 3));
}

enum Square : int { H1 = 0, G1, F1, E1, D1, C1, B1, A1, H8 = 56, G8, F8, E8, D8, C8, B8, A8 };

// Castling rights bits.
inline constexpr int CASTLE_WK = 1, CASTLE_WQ = 2, CASTLE_BK = 4, CASTLE_BQ = 8;

// Scores, centipawns from the side to move's view inside the search.
inline constexpr int SCORE_MATE = 16000;
inline constexpr int SCORE_INFINITE = 16000; // the full window -16000..16000
inline constexpr int SCORE_TIMEOUT = -16300;
inline constexpr int SCORE_SPLIT_ABORT = 16302;
inline constexpr int TT_NO_CUTOFF = 16310;
inline constexpr int DRAW_SCORE = -50; // times the side to move

// Move lists hold up to 255 moves plus the terminating 0; no legal position has
// more than 218 moves, and the generators never write past the capacity.
inline constexpr int MOVELIST_CAPACITY = 256;

struct MoveList {
    Move moves[MOVELIST_CAPACITY];
    std::int16_t scores[MOVELIST_CAPACITY];
};
