// The opening-book object of the front end: the book's path, its move-choice
// mode and its own random generator, and the probe that picks a book move.
#pragma once

#include "board/rng.h"
#include "board/settings_file.h"
#include "book/book_board.h"
#include "book/ctg_lookup.h"

// Any path a settings line can hold.
inline constexpr int BOOK_NAME_SIZE = SETTINGS_LINE_SIZE;
// The name UCI offers as BookPath's default, so xboard without a settings
// file reads the same book.
inline constexpr const char* BOOK_DEFAULT_NAME = "bookTarvok.ctg";
// Room for a book move text (e7e8Q and its zero).
inline constexpr int BOOK_MOVE_TEXT_SIZE = 8;
inline constexpr int BOOK_PATH_SIZE = BOOK_FILE_NAME_SIZE;
inline constexpr int SCORE_SHUNNED = -9999999;

class TarvokBook {
  public:
    // Warms its generator up by the millisecond part of the clock (read again
    // while it is 0), so that games differ from start to start.
    TarvokBook();
    // The same with a fixed number of draws thrown away (tests).
    explicit TarvokBook(int warmUpDraws);

    // Takes the path text; a name holding ".ctg" is cut right after its
    // first ".ctg", which drops a trailing line end or comment.
    void setBookPath(const char* text);
    // Below 0 gives 0, 2 and more give 1.
    void setBestMoveOnly(int value);
    void setOutput(const BookOutput& output) { output_ = output; }

    const char* bookName() const { return bookName_; }
    int bestMoveOnly() const { return bestMoveOnly_; }

    // The path the book is read from: the name itself, or, for a relative
    // name whose .ctg does not open here, the same name beside the
    // executable. False when none of the three files opens.
    bool resolvePath(char* path, int size) const;
    // The book's move for the position. 1 with the move text written (or
    // the text untouched when no stored move qualifies); 0 with "noMove\n"
    // when the position is not in the book, 0 untouched after a FEN message.
    int probeBook(const char* fen, char* moveText);

  private:
    char bookName_[BOOK_NAME_SIZE];
    int bestMoveOnly_;
    Rand15 rand_;
    BookOutput output_;
};
