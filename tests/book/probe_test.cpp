// The probe: move scores from the next positions, the choice of both modes by the book's own
// generator, shunned moves, and the results and messages of positions and books it cannot use.
#include <gtest/gtest.h>

#include <tuple>

#include "board/notation.h"
#include "book/tarvok_book.h"
#include "book_support.h"

using namespace book_test;

namespace {

const char* E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";

// A book of the start position with e2e4 then d2d4, and the positions after
// them with the given counters (total, lost, won, drawn) and flags.
void twoMoveBook(const std::string& name, BookCounters e4, int e4Flag, BookCounters d4,
                 int d4Flag) {
    initTables();
    Board b;
    setFromFen(b, START_FEN);
    BookWriter w;
    w.addPosition(START_FEN, {parseCoordinateMove(b, "e2e4"), parseCoordinateMove(b, "d2d4")},
                  {10, 0, 0, 0}, 0);
    w.addPosition(E4, {}, e4, e4Flag);
    w.addPosition("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1", {}, d4, d4Flag);
    EXPECT_TRUE(w.write(name));
}

// "result text|output" of one probe.
std::string probe(TarvokBook& book, const char* fen) {
    char text[BOOK_MOVE_TEXT_SIZE] = "";
    int result = -1;
    const std::string out = captured([&](std::FILE* f) {
        book.setOutput({f, "# "}), result = book.probeBook(fen, text);
    });
    return std::to_string(result) + " " + text + "|" + out;
}

TEST(BookProbe, ChoicesOfBothModesByScoreThresholdAndShunning) {
    const std::string e(40, 'e'), d(40, 'd'), coin = "ddeedeeeeedddddddededeedeedeeddedededdde";
    const std::tuple<BookCounters, int, BookCounters, int, std::string, std::string> rows[] = {
        // won + drawn / 2: 12 against 3; the weighted draw is r % 16.
        {{20, 6, 10, 4}, 0, {5, 2, 3, 0}, 0, "eedeeeedeeeeeeeeeeeeeedeeddeeeedeedeeeee", e},
        // A move counts from a twentieth of the best: 6 does against 100, 4 not.
        {{100, 0, 100, 0}, 0, {6, 0, 6, 0}, 0, "eeeeedeedeeeeeeedeeeeeeeeeeeeeeeeeeeeeee", e},
        {{100, 0, 100, 0}, 0, {4, 0, 4, 0}, 0, e, e},
        // Only losses score 0, no games 1.
        {{3, 3, 0, 0}, 0, {0, 0, 0, 0}, 0, coin, d},
        // Flags 0x40-0x7F shun a move; when all are shunned only the best-move mode answers.
        {{2, 1, 1, 0}, 0x80, {99, 0, 99, 0}, 0x40, e, e},
        {{1, 0, 1, 0}, 0x7F, {1, 0, 1, 0}, 0x40, std::string(40, '-'), coin},
        // Equal scores: the best-move mode draws among them.
        {{9, 0, 8, 2}, 0, {9, 0, 9, 0}, 0, "ededddeeedeeededddeeddeeeddededeeeeededd", coin},
    };
    for (const auto& [e4, e4Flag, d4, d4Flag, weighted, best] : rows) {
        TempDir dir;
        twoMoveBook(dir.file("two.ctg"), e4, e4Flag, d4, d4Flag);
        // The moves of books warmed up by 0 .. 39 draws (- for none); -1 and 2 mean modes 0 and 1.
        std::string chosen[2];
        for (int warm = 0; warm < 80; ++warm) {
            TarvokBook book(warm / 2);
            book.setBookPath(dir.file("two.ctg").c_str());
            book.setBestMoveOnly(warm % 2 ? 2 : -1);
            const std::string p = probe(book, START_FEN);
            chosen[warm % 2] += p[0] != '1' ? '?' : p[2] == '|' ? '-' : p[2];
        }
        EXPECT_EQ(chosen[0], weighted) << weighted;
        EXPECT_EQ(chosen[1], best) << weighted;
    }
}

TEST(BookProbe, ConstructionLeavesTheProcessGeneratorAlone) {
    // Three draws place the process-wide generator in its sequence; building books moves it not.
    const int a = rand15(), b = rand15(), c = rand15();
    { TarvokBook clocked, fixed(500); }
    Rand15 r;
    int x = r.next(), y = r.next(), z = r.next();
    for (int i = 0; i < 1 << 22 && !(x == a && y == b && z == c); ++i) x = y, y = z, z = r.next();
    ASSERT_TRUE(x == a && y == b && z == c);
    EXPECT_EQ(rand15(), r.next());
}

TEST(BookProbe, ResultsAndMessagesOfPositionsAndBooksItCannotUse) {
    TempDir dir;
    const std::string name = dir.file("two.ctg"), said = "|# probe TarvokBook: " + name + "\n";
    twoMoveBook(name, {5, 0, 5, 0}, 0, {1, 0, 1, 0}, 0);
    TarvokBook book(0);
    book.setBookPath((name + " # a comment\n").c_str());
    EXPECT_EQ(probe(book, START_FEN), "1 e2e4" + said);
    EXPECT_EQ(probe(book, "4k3/8/8/8/8/8/8/4K3 w - - 0 1"), "0 noMove\n" + said);
    EXPECT_EQ(probe(book, "4k3/8/8/8/8/8/8/4K3 v - - 0 1"), "0 " + said + "# ERROR: Illegal fen\n");
    EXPECT_EQ(probe(book, E4), "1 " + said); // stored without moves
    // A short .ctb, then no .cto: not found.
    const auto ctb = readBytes(dir.file("two.ctb"));
    writeBytes(dir.file("two.ctb"), {ctb.begin(), ctb.begin() + 11});
    EXPECT_EQ(probe(book, START_FEN), "0 noMove\n" + said);
    writeBytes(dir.file("two.ctb"), ctb);
    EXPECT_EQ(probe(book, START_FEN), "1 e2e4" + said);
    std::remove(dir.file("two.cto").c_str());
    EXPECT_EQ(probe(book, START_FEN), "0 noMove\n" + said);
    book.setBookPath("%s%n%d"); // printed as it is
    EXPECT_EQ(probe(book, START_FEN), "0 noMove\n|# probe TarvokBook: %s%n%d\n");

    // Entries that lie about their sizes. 60 moves, of which 50 are kept; none decodes (0x1F stands
    // for no move, the castling code is the 60th), so the position has no book move.
    const std::string raw = dir.file("raw.ctg"), key = keyOf(bookBoard(START_FEN));
    std::vector<std::uint8_t> entry(key.begin(), key.end());
    entry.push_back(1 + 2 * 60);
    for (int i = 0; i < 60; ++i) entry.push_back(i == 59 ? 0x6B : 0x1F), entry.push_back(0);
    entry.resize(entry.size() + BOOK_STATS_SIZE);
    BookWriter w;
    w.addRawEntry(entry);
    ASSERT_TRUE(w.write(raw));
    BookEntry e{};
    EXPECT_EQ(findEntry(raw.c_str(), bookBoard(START_FEN), e) * 100 + e.moveCount, 150);
    book.setBookPath(raw.c_str());
    EXPECT_EQ(probe(book, START_FEN), "1 |# probe TarvokBook: " + raw + "\n");
    // Pages whose bytes end where a next entry starts, inside its key, and inside its moves.
    const auto page = readBytes(raw);
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t size = 4 + (k < 2 ? entry.size() + k : key.size() + 100);
        std::vector<std::uint8_t> p(&page[BOOK_PAGE_SIZE], &page[BOOK_PAGE_SIZE + size]);
        p[0] = 0, p[1] = k < 2 ? 2 : 1;
        if (k) p[k == 1 ? size - 1 : 4 + key.size()] = k == 1 ? 0x16 : 0xFF;
        EXPECT_EQ(searchPage(p.data(), int(size), bookBoard(k < 2 ? E4 : START_FEN), e), 0) << k;
    }
}

} // namespace
