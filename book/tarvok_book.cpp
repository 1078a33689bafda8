#include "book/tarvok_book.h"

#include <cstring>

TarvokBook::TarvokBook() : bestMoveOnly_(1) {
    std::strcpy(bookName_, "book");
}

void TarvokBook::setBookPath(const char* text) {
    std::strncpy(bookName_, text, BOOK_NAME_SIZE - 1);
    bookName_[BOOK_NAME_SIZE - 1] = 0;
    for (int i = 0; i < 45 && bookName_[i]; ++i) {
        if (std::strncmp(bookName_ + i, ".ctg", 4) == 0) {
            bookName_[i + 4] = 0;
            break;
        }
    }
}

void TarvokBook::setBestMoveOnly(int value) {
    bestMoveOnly_ = value < 0 ? 0 : (value > 1 ? 1 : value);
}
