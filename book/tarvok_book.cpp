#include "book/tarvok_book.h"

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "book/move_codes.h"

namespace {

int millisecondOfClock() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<int>(ms % 1000);
}

bool canOpen(const char* name) {
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

bool allThreeOpen(const char* ctgName) {
    const BookFileNames n = bookFileNames(ctgName);
    return canOpen(n.ctg) && canOpen(n.cto) && canOpen(n.ctb);
}

// Score of a move by the position it leads to; INT_MIN when it cannot be
// decoded (never chosen).
int scoreMove(const char* path, const BookBoard& position, int code) {
    BookMove m;
    if (!decodeMove(position, code, m)) return INT_MIN;
    BookBoard next = position;
    applyMove(next, m);
    BookEntry e;
    if (!findEntry(path, next, e)) return 1;
    if (e.flagByte >= 0x40 && e.flagByte <= 0x7F) return SCORE_SHUNNED;
    if (e.lostGames + e.wonGames + e.drawnGames == 0) return 1;
    return e.wonGames + e.drawnGames / 2;
}

} // namespace

TarvokBook::TarvokBook() : TarvokBook(0) {
    int draws = millisecondOfClock();
    while (draws == 0) draws = millisecondOfClock();
    for (int i = 0; i < draws; ++i) rand_.next();
}

TarvokBook::TarvokBook(int warmUpDraws) : bestMoveOnly_(1) {
    std::strcpy(bookName_, BOOK_DEFAULT_NAME);
    for (int i = 0; i < warmUpDraws; ++i) rand_.next();
}

void TarvokBook::setBookPath(const char* text) {
    std::strncpy(bookName_, text, BOOK_NAME_SIZE - 1);
    bookName_[BOOK_NAME_SIZE - 1] = 0;
    for (int i = 0; bookName_[i]; ++i) {
        if (std::strncmp(bookName_ + i, ".ctg", 4) == 0) {
            bookName_[i + 4] = 0;
            break;
        }
    }
}

void TarvokBook::setBestMoveOnly(int value) {
    bestMoveOnly_ = value < 0 ? 0 : (value > 1 ? 1 : value);
}

bool TarvokBook::resolvePath(char* path, int size) const {
    std::snprintf(path, static_cast<std::size_t>(size), "%s", bookName_);
    if (allThreeOpen(path)) return true;
    if (bookName_[0] == '/' || canOpen(path)) return false;
    char exe[BOOK_PATH_SIZE];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return false;
    exe[n] = 0;
    char* slash = std::strrchr(exe, '/');
    if (!slash) return false;
    slash[1] = 0;
    std::snprintf(path, static_cast<std::size_t>(size), "%s%s", exe, bookName_);
    return allThreeOpen(path);
}

int TarvokBook::probeBook(const char* fen, char* moveText) {
    std::fputs(output_.linePrefix, output_.out);
    std::fputs("probe TarvokBook: ", output_.out);
    std::fputs(bookName_, output_.out);
    std::fputc('\n', output_.out);

    BookBoard position;
    if (!readFen(fen, position, output_)) return 0;
    char path[BOOK_PATH_SIZE];
    resolvePath(path, sizeof path);
    BookEntry entry;
    if (!findEntry(path, position, entry)) {
        std::strcpy(moveText, "noMove\n");
        return 0;
    }
    if (entry.moveCount == 0) return 1;

    int scores[BOOK_MAX_MOVES];
    int best = SCORE_SHUNNED;
    for (int i = 0; i < entry.moveCount; ++i) {
        scores[i] = scoreMove(path, position, entry.moves[2 * i]);
        if (scores[i] > best) best = scores[i];
    }
    const int threshold = bestMoveOnly_ ? best : best / 20;
    int candidates[BOOK_MAX_MOVES];
    int count = 0;
    std::int64_t sum = 0;
    for (int i = 0; i < entry.moveCount; ++i) {
        if (scores[i] != INT_MIN && scores[i] >= threshold) {
            candidates[count++] = i;
            sum += scores[i];
        }
    }
    if (count == 0) return 1;

    int chosen = -1;
    if (bestMoveOnly_) {
        chosen = candidates[rand_.next() % count];
    } else {
        std::int64_t r = rand_.next() % (sum + 1);
        for (int k = 0; k < count && chosen < 0; ++k) {
            r -= scores[candidates[k]];
            if (r <= 0) chosen = candidates[k];
        }
        if (chosen < 0) {
            bookSay(output_, "ERROR: no move returned from openingbook while present");
            return 0;
        }
    }
    BookMove m;
    decodeMove(position, entry.moves[2 * chosen], m);
    bookMoveText(position, m, moveText);
    return 1;
}
