// The book's own picture of a position: the side to move in capitals moving up
// the board, turned over for Black and mirrored left-right when neither side
// may castle and the mover's king stands on files a-d. Its key (a bit string
// of square codes) is what the book files store.
#pragma once

#include <cstdint>
#include <cstdio>

// Where the book's messages go: a stream and a text put before every line
// (the UCI front end uses "info string ").
struct BookOutput {
    std::FILE* out = stdout;
    const char* linePrefix = "";
};
void bookSay(const BookOutput& output, const char* text);

inline constexpr int BOOK_KEY_SIZE = 64;
// The header byte keeps the length in its low five bits.
inline constexpr int BOOK_MAX_KEY_LENGTH = 31;

struct BookBoard {
    std::uint8_t huffmanKey[BOOK_KEY_SIZE]; // byte 0 is the header byte
    int keyLength;                          // bytes in use, header included
    char squares[64];                       // 0 = a8, 1 = b8 .. 63 = h1
    int castle;   // bit 0 mover queen-side, 1 mover king-side, 2/3 the other side
    int epFile;   // file of a possible en-passant capture, or -1
    int flipped;  // Black is to move in the real position
    int mirrored; // files were reversed
};

// Square index of file 0-7 (a-h) and rank 0-7 (1-8).
inline constexpr int bookIndex(int file, int rank) {
    return (7 - rank) * 8 + file;
}

// Builds the normalised position and its key from FEN text. On a malformed
// text prints one of the three FEN messages and returns 0.
int readFen(const char* fen, BookBoard& board, const BookOutput& output = BookOutput{});

// Normalisation steps shared with the move application.
void turnOver(BookBoard& board);
void mirrorBoard(BookBoard& board);
// new = mover's rights from the other side's and back.
inline int swapCastleHalves(int castle) {
    return (castle & 3) * 4 + castle / 4;
}
// Writes huffmanKey and keyLength from the squares, castle and epFile.
void encodeKey(BookBoard& board);
std::uint32_t bookHash(const std::uint8_t* key, int length);

// Debug dumps: the board with its castle and en-passant fields, and the key
// as bits and as signed bytes.
void dumpBookBoard(const BookBoard& board, std::FILE* out);
void dumpHuffmanKey(const BookBoard& board, std::FILE* out);
