// Finding a position in a CTG book: the .ctb file bounds the .cto index, whose
// slots name 4096-byte pages of the .ctg file that hold the entries.
#pragma once

#include <cstdint>

#include "book/book_board.h"

inline constexpr int BOOK_PAGE_SIZE = 4096;
inline constexpr int BOOK_MAX_MOVES = 50;
inline constexpr int BOOK_STATS_SIZE = 33;
// A book path with its directory (the name may be tried beside the executable).
inline constexpr int BOOK_FILE_NAME_SIZE = 4096 + 1000;

struct BookEntry {
    int moveCount;                          // pairs in moves
    std::uint8_t moves[2 * BOOK_MAX_MOVES]; // (move code, annotation) pairs
    int totalGames;
    int wonGames;
    int drawnGames;
    int lostGames;
    int flagByte;
};

// The three file names of a book: the .ctg name with its last character
// replaced by 'o' and by 'b'.
struct BookFileNames {
    char ctg[BOOK_FILE_NAME_SIZE], cto[BOOK_FILE_NAME_SIZE], ctb[BOOK_FILE_NAME_SIZE];
};
BookFileNames bookFileNames(const char* bookName);

// Looks the key up through the index. 1 and the entry when found; 0 when the
// key is nowhere or a file cannot be read, silently.
int findEntry(const char* bookName, const BookBoard& board, BookEntry& entry);
// Walks one page (only its first `size` bytes exist) for the key.
int searchPage(const std::uint8_t* page, int size, const BookBoard& board, BookEntry& entry);
// The slow way: every page of the .ctg in order from page 1 (index page 0).
// Returns the index page number holding the key, or -1.
long long scanAllPages(const char* bookName, const BookBoard& board, BookEntry& entry);

// Number of files opened since the start of the process (for the benchmark).
long long bookFilesOpened();
