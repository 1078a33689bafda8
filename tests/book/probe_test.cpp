// The probe: scores from the next positions, both choice modes with a fixed
// generator, shunned moves, texts in real coordinates, and its messages.
#include <gtest/gtest.h>

#include "board/notation.h"
#include "board/rng.h"
#include "book/tarvok_book.h"
#include "book_support.h"

#include <set>

using namespace book_test;

namespace {

const char* E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
const char* D4 = "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1";

std::vector<Move> moves(const char* fen, std::initializer_list<const char*> texts) {
    Board b;
    setFromFen(b, fen);
    std::vector<Move> out;
    for (const char* t : texts) out.push_back(parseCoordinateMove(b, t));
    return out;
}

// A book at dir/name: the start position with e2e4 then d2d4, and the two
// positions after them with the given counters and flags.
std::string twoMoveBook(const TempDir& dir, BookCounters e4, int e4Flag, BookCounters d4,
                        int d4Flag) {
    initTables();
    BookWriter w;
    w.addPosition(START_FEN, moves(START_FEN, {"e2e4", "d2d4"}), BookCounters{10, 0, 0, 0}, 0);
    w.addPosition(E4, {}, e4, e4Flag);
    w.addPosition(D4, {}, d4, d4Flag);
    const std::string name = dir.file("two.ctg");
    EXPECT_TRUE(w.write(name));
    return name;
}

struct Probe {
    int result;
    std::string text;
    std::string out;
};

Probe probe(TarvokBook& book, const char* fen) {
    Probe p;
    char text[BOOK_MOVE_TEXT_SIZE] = "";
    p.out = captured([&](std::FILE* f) {
        book.setOutput(BookOutput{f, ""});
        p.result = book.probeBook(fen, text);
    });
    p.text = text;
    return p;
}

TEST(BookProbe, WonAndHalfTheDrawsScoreAndEachModeChoosesByTheFixedGenerator) {
    TempDir dir;
    // (won, drawn) = (10, 4) after e2e4 and (3, 0) after d2d4: 12 and 3.
    const std::string name = twoMoveBook(dir, {20, 6, 10, 4}, 0, {5, 2, 3, 0}, 0);
    // Mode 1: only the best; mode 0: the first draw (41) mod 16 = 9, within e2e4's 12.
    for (int mode : {1, 0}) {
        TarvokBook book(0);
        book.setBookPath(name.c_str());
        book.setBestMoveOnly(mode);
        Probe p = probe(book, START_FEN);
        EXPECT_EQ(p.result, 1);
        EXPECT_EQ(p.text, "e2e4") << mode;
        EXPECT_EQ(p.out, "probe TarvokBook: " + name + "\n");
    }
    // Mode 0 after 5 draws: the sixth draw is 16 mod 16 + ... pick d2d4 when
    // r falls past 12: try warm-ups until both moves have been seen.
    std::set<std::string> seen;
    for (int warm = 0; warm < 40; ++warm) {
        TarvokBook book(warm);
        book.setBookPath(name.c_str());
        book.setBestMoveOnly(0);
        Rand15 r;
        for (int i = 0; i < warm; ++i) r.next();
        const int draw = r.next() % 16;
        Probe p = probe(book, START_FEN);
        EXPECT_EQ(p.text, draw <= 12 ? "e2e4" : "d2d4") << warm;
        seen.insert(p.text);
    }
    EXPECT_EQ(seen.size(), 2u);
}

TEST(BookProbe, WeightedChoiceTakesMovesFromATwentiethOfTheBest) {
    // Scores 100 and 6: 6 reaches 100 / 20 and is chosen when r (of 0-106)
    // passes 100; a score of 4 never qualifies.
    for (int low : {6, 4}) {
        TempDir dir;
        const std::string name = twoMoveBook(
            dir, {100, 0, 100, 0}, 0,
            {static_cast<std::uint32_t>(low), 0, static_cast<std::uint32_t>(low), 0}, 0);
        int lowChosen = 0;
        for (int warm = 0; warm < 300; ++warm) {
            TarvokBook book(warm);
            book.setBookPath(name.c_str());
            book.setBestMoveOnly(0);
            Rand15 r;
            for (int i = 0; i < warm; ++i) r.next();
            const int draw = r.next() % (low == 6 ? 107 : 101);
            const std::string text = probe(book, START_FEN).text;
            EXPECT_EQ(text, draw <= 100 ? "e2e4" : "d2d4") << low << " " << warm;
            lowChosen += text == "d2d4";
        }
        if (low == 6)
            EXPECT_GT(lowChosen, 0);
        else
            EXPECT_EQ(lowChosen, 0);
    }
}

TEST(BookProbe, ConstructionLeavesTheProcessGeneratorAlone) {
    // Three draws of the process-wide generator place it in its sequence;
    // after building books the next draw must be the sequence's next number.
    const int a = rand15(), b = rand15(), c = rand15();
    TarvokBook book; // draws up to 999 numbers of its own
    TarvokBook other(500);
    (void)book;
    (void)other;
    const int d = rand15();
    Rand15 r;
    int x = r.next(), y = r.next(), z = r.next();
    for (int i = 0; i < 1 << 22 && !(x == a && y == b && z == c); ++i) x = y, y = z, z = r.next();
    ASSERT_TRUE(x == a && y == b && z == c);
    EXPECT_EQ(d, r.next());
}

TEST(BookProbe, ShunnedMovesAreNeverChosenUnlessAllAreShunned) {
    TempDir dir;
    // d2d4's position has flag 0x40 (and better counters); 0x80 is not shunning.
    const std::string name = twoMoveBook(dir, {2, 1, 1, 0}, 0x80, {99, 0, 99, 0}, 0x40);
    for (int warm = 0; warm < 30; ++warm) {
        for (int mode : {0, 1}) {
            TarvokBook book(warm);
            book.setBookPath(name.c_str());
            book.setBestMoveOnly(mode);
            EXPECT_EQ(probe(book, START_FEN).text, "e2e4") << warm << " " << mode;
        }
    }
    TempDir dir2;
    const std::string all = twoMoveBook(dir2, {1, 0, 1, 0}, 0x7F, {1, 0, 1, 0}, 0x40);
    std::set<std::string> seen;
    for (int warm = 0; warm < 30; ++warm) {
        TarvokBook book(warm);
        book.setBookPath(all.c_str());
        seen.insert(probe(book, START_FEN).text);
        TarvokBook weighted(warm);
        weighted.setBookPath(all.c_str());
        weighted.setBestMoveOnly(0);
        Probe p = probe(weighted, START_FEN);
        EXPECT_EQ(p.result, 1); // in the book, but no move qualifies
        EXPECT_EQ(p.text, "");
    }
    EXPECT_EQ(seen, (std::set<std::string>{"e2e4", "d2d4"}));
}

TEST(BookProbe, TextsAreInRealCoordinates) {
    initTables();
    TempDir dir;
    BookWriter w;
    const char* promo = "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1";
    const char* blackPromo = "4k3/8/8/8/8/8/6p1/4K3 b - - 0 1";
    const char* mirrored = "8/8/3k4/8/8/8/3P4/3K4 w - - 0 1"; // d2d4 read as e2e4
    const char* castle = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1";
    w.addPosition(promo, moves(promo, {"b7b8Q"}), {}, 0);
    w.addPosition(blackPromo, moves(blackPromo, {"g2g1Q"}), {}, 0);
    w.addPosition(mirrored, moves(mirrored, {"d2d4"}), {}, 0);
    w.addPosition(castle, moves(castle, {"e8g8"}), {}, 0);
    const std::string name = dir.file("t.ctg");
    ASSERT_TRUE(w.write(name));
    BookEntry e{};
    EXPECT_EQ(bookBoard(mirrored).mirrored, 1);
    ASSERT_EQ(findEntry(name.c_str(), bookBoard(castle), e), 1);
    EXPECT_EQ(e.moves[0], 0x6B);
    TarvokBook book(0);
    book.setBookPath(name.c_str());
    EXPECT_EQ(probe(book, promo).text, "b7b8Q");
    EXPECT_EQ(probe(book, blackPromo).text, "g2g1Q");
    EXPECT_EQ(probe(book, mirrored).text, "d2d4");
    EXPECT_EQ(probe(book, castle).text, "e8g8");
}

TEST(BookProbe, NotFoundInvalidAndEmptyResults) {
    TempDir dir;
    const std::string name = twoMoveBook(dir, {1, 0, 1, 0}, 0, {1, 0, 1, 0}, 0);
    TarvokBook book(0);
    book.setBookPath(name.c_str());
    Probe out = probe(book, "4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.text, "noMove\n");
    Probe bad = probe(book, "4k3/8/8/8/8/8/8/4K3 v - - 0 1");
    EXPECT_EQ(bad.result, 0);
    EXPECT_EQ(bad.text, "");
    EXPECT_EQ(bad.out, "probe TarvokBook: " + name + "\nERROR: Illegal fen\n");
    // The position after e2e4 is stored without moves.
    Probe empty = probe(book, E4);
    EXPECT_EQ(empty.result, 1);
    EXPECT_EQ(empty.text, "");
    // A name with a format directive is printed as it is; without ".ctg" the
    // derived names do not open.
    TarvokBook odd(0);
    odd.setBookPath("%s%n%d");
    Probe p = probe(odd, START_FEN);
    EXPECT_EQ(p.out, "probe TarvokBook: %s%n%d\n");
    EXPECT_EQ(p.text, "noMove\n");
}

TEST(BookProbe, MissingIndexOrBoundsIsNotFound) {
    TempDir dir;
    const std::string name = twoMoveBook(dir, {5, 0, 5, 0}, 0, {1, 0, 1, 0}, 0);
    const std::string base = name.substr(0, name.size() - 1);
    const auto ctb = readBytes(base + "b");
    TarvokBook book(0);
    book.setBookPath(name.c_str());
    writeBytes(base + "b", std::vector<std::uint8_t>(ctb.begin(), ctb.begin() + 11));
    EXPECT_EQ(probe(book, START_FEN).text, "noMove\n");
    writeBytes(base + "b", ctb);
    EXPECT_EQ(probe(book, START_FEN).text, "e2e4");
    std::remove((base + "o").c_str());
    EXPECT_EQ(probe(book, START_FEN).text, "noMove\n");
    char path[BOOK_PATH_SIZE];
    EXPECT_FALSE(book.resolvePath(path, sizeof path));
}

} // namespace
