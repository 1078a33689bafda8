// The opening-book object of the front end. It holds the book's path and its
// move-choice mode, both configured by the settings file.
#pragma once

inline constexpr int BOOK_NAME_SIZE = 52;

class TarvokBook {
  public:
    TarvokBook();
    // Takes the path text; a name holding ".ctg" within its first 45
    // characters is cut right after it, which drops a trailing line end.
    void setBookPath(const char* text);
    // Below 0 gives 0, 2 and more give 1.
    void setBestMoveOnly(int value);

    const char* bookName() const { return bookName_; }
    int bestMoveOnly() const { return bestMoveOnly_; }

  private:
    char bookName_[BOOK_NAME_SIZE];
    int bestMoveOnly_;
};
