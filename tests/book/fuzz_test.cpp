// Damaged books and random FEN text: the reader answers, never reads outside
// a buffer (the sanitizer build runs these), and never hangs.
#include <gtest/gtest.h>

#include <cstring>

#include "book/tarvok_book.h"
#include "book_support.h"

using namespace book_test;

namespace {

// A small valid book of a few random games: its three files' bytes and some
// of its positions.
struct SmallBook {
    TempDir dir;
    std::string name = dir.file("s.ctg");
    std::vector<std::uint8_t> files[3];
    std::vector<std::string> fens;

    SmallBook() {
        std::mt19937 rng(7);
        BookWriter w;
        for (int g = 0; g < 6; ++g) {
            std::vector<Move> moves;
            const auto game = randomGame(rng, 30, START_FEN, &moves);
            w.addGame(moves, GameResult::DRAW, 30);
            for (int i = 0; i < 30; i += 10) fens.push_back(game[i]);
        }
        w.prune(1);
        EXPECT_TRUE(w.write(name));
        for (int i = 0; i < 3; ++i) files[i] = readBytes(path(i));
    }
    std::string path(int i) const { return name.substr(0, name.size() - 1) + "gob"[i]; }
    void restore() {
        for (int i = 0; i < 3; ++i) writeBytes(path(i), files[i]);
    }
    // Probes every kept position in both modes; returns the moves found.
    int probeAll(const std::vector<std::string>& texts) {
        int found = 0;
        std::FILE* sink = std::fopen("/dev/null", "w");
        for (int mode : {0, 1}) {
            TarvokBook book(3);
            book.setBookPath(name.c_str());
            book.setBestMoveOnly(mode);
            book.setOutput(BookOutput{sink, ""});
            for (const std::string& f : texts) {
                char text[BOOK_MOVE_TEXT_SIZE] = "";
                book.probeBook(f.c_str(), text);
                EXPECT_LT(std::strlen(text), sizeof text);
                found += std::strlen(text) == 4;
            }
        }
        std::fclose(sink);
        return found;
    }
};

TEST(BookFuzz, CutFlippedAndRandomBooksAndRandomFenText) {
    SmallBook b;
    ASSERT_EQ(b.probeAll(b.fens), 2 * static_cast<int>(b.fens.size()));
    // Each file cut at many lengths: nothing is found in a book without its index.
    for (int f = 0; f < 3; ++f) {
        for (std::size_t len = 0; len < std::min<std::size_t>(b.files[f].size(), 2 * 4096 + 64);
             len += f == 0 ? 97 : 3) {
            writeBytes(b.path(f), {b.files[f].begin(), b.files[f].begin() + long(len)});
            const int found = b.probeAll(b.fens);
            if (f == 1 && len < 20) {
                EXPECT_EQ(found, 0) << len;
            }
        }
        b.restore();
    }
    // Bits flipped where the reader looks: page headers, entry lengths, slots, bounds.
    std::mt19937 rng(11);
    for (int round = 0; round < 90; ++round) {
        const int f = round % 3;
        std::vector<std::uint8_t> bytes = b.files[f];
        for (int k = 0; k < 1 + round % 8; ++k) {
            const std::size_t at = f ? rng() % bytes.size() : BOOK_PAGE_SIZE + rng() % 600;
            bytes[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        writeBytes(b.path(f), bytes);
        b.probeAll(b.fens);
        b.restore();
    }
    for (int round = 0; round < 15; ++round) {
        for (int f = 0; f < 3; ++f) {
            std::vector<std::uint8_t> bytes(rng() % 9000);
            for (auto& x : bytes) x = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0xFF : rng());
            writeBytes(b.path(f), bytes);
        }
        b.probeAll(b.fens);
    }
    b.restore();
    // Damaged and random FEN text against the valid book.
    const char alphabet[] = "pnbrqkPNBRQK12345678/ wb-KQkqabcdefgh0 9x";
    std::vector<std::string> texts;
    for (int round = 0; round < 600; ++round) {
        std::string fen = round % 2 ? b.fens[rng() % b.fens.size()] : "";
        for (int k = 0; k < (round % 2 ? 3 : int(rng() % 120)); ++k) {
            const char c = alphabet[rng() % (sizeof alphabet - 1)];
            if (round % 2)
                fen[rng() % fen.size()] = c;
            else
                fen += c;
        }
        texts.push_back(fen.substr(0, rng() % (fen.size() + 1)));
    }
    b.probeAll(texts);
}

TEST(BookFuzz, EntriesThatLieAboutTheirSizes) {
    TempDir dir;
    const std::string name = dir.file("raw.ctg");
    const BookBoard start = bookBoard(START_FEN);
    const std::string key = keyOf(start);
    // 60 moves: 50 are kept; none decodes (0x1F stands for no move; the
    // castling code is the 60th), so the position has no book move.
    std::vector<std::uint8_t> big(key.begin(), key.end());
    big.push_back(1 + 2 * 60);
    for (int i = 0; i < 60; ++i) big.push_back(i == 59 ? 0x6B : 0x1F), big.push_back(0);
    big.resize(big.size() + BOOK_STATS_SIZE, 0);
    BookWriter w;
    w.addRawEntry(big);
    ASSERT_TRUE(w.write(name));
    BookEntry e{};
    ASSERT_EQ(findEntry(name.c_str(), start, e), 1);
    EXPECT_EQ(e.moveCount, 50);
    TarvokBook book(0);
    book.setBookPath(name.c_str());
    char text[BOOK_MOVE_TEXT_SIZE] = "";
    std::FILE* sink = std::fopen("/dev/null", "w");
    book.setOutput(BookOutput{sink, ""});
    EXPECT_EQ(book.probeBook(START_FEN, text), 1);
    EXPECT_STREQ(text, "");
    std::fclose(sink);
    // An entry count beyond the page, then an entry running past the bytes read.
    auto page = readBytes(name);
    page[BOOK_PAGE_SIZE] = 0x7F;
    writeBytes(name, page);
    EXPECT_EQ(findEntry(name.c_str(), bookBoard("4k3/8/8/8/8/8/8/4K3 w - - 0 1"), e), 0);
    page[BOOK_PAGE_SIZE] = 0;
    page[BOOK_PAGE_SIZE + 1] = 1;
    page[BOOK_PAGE_SIZE + 4 + key.size()] = 0xFF;
    std::vector<std::uint8_t> cut(page.begin() + BOOK_PAGE_SIZE,
                                  page.begin() + BOOK_PAGE_SIZE + 200);
    EXPECT_EQ(searchPage(cut.data(), 4 + static_cast<int>(key.size()) + 100, start, e), 0);
}

} // namespace
