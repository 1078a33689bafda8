// Damaged books and random FEN text: the reader answers, never reads outside
// a buffer (the sanitizer build runs these), and never hangs.
#include <gtest/gtest.h>

#include "board/notation.h"
#include "book/tarvok_book.h"
#include "book_support.h"

#include <cstring>

using namespace book_test;

namespace {

// A small valid book of a few random games, its three files' bytes.
struct SmallBook {
    TempDir dir;
    std::string name;
    std::vector<std::uint8_t> files[3];
    const char* ext[3] = {"ctg", "cto", "ctb"};
    std::vector<std::string> fens;

    SmallBook() {
        initTables();
        name = dir.file("s.ctg");
        std::mt19937 rng(7);
        BookWriter w;
        for (int g = 0; g < 6; ++g) {
            RandomGame game = randomGame(rng, 30);
            w.addGame(game.moves, GameResult::DRAW, 30);
            for (int i = 0; i < 30; i += 5) fens.push_back(game.fens[i]);
        }
        EXPECT_TRUE(w.write(name));
        for (int i = 0; i < 3; ++i) files[i] = readBytes(path(i));
    }
    std::string path(int i) const { return name.substr(0, name.size() - 3) + ext[i]; }
    void restore() {
        for (int i = 0; i < 3; ++i) writeBytes(path(i), files[i]);
    }
    // Probes every kept position in both modes.
    void probeAll() {
        for (int mode : {0, 1}) {
            TarvokBook book(3);
            book.setBookPath(name.c_str());
            book.setBestMoveOnly(mode);
            std::FILE* sink = std::fopen("/dev/null", "w");
            book.setOutput(BookOutput{sink, ""});
            for (const std::string& f : fens) {
                char text[BOOK_MOVE_TEXT_SIZE] = "";
                book.probeBook(f.c_str(), text);
                ASSERT_LT(std::strlen(text), sizeof text);
            }
            std::fclose(sink);
        }
    }
};

TEST(BookFuzz, BooksCutAtEveryLengthAndBitFlipped) {
    SmallBook b;
    // The .ctg cut at every length of its first data page, .cto and .ctb at every length.
    for (int f = 0; f < 3; ++f) {
        const std::size_t limit = f == 0 ? 2 * BOOK_PAGE_SIZE + 64 : b.files[f].size();
        const std::size_t step = f == 0 ? 37 : 1;
        for (std::size_t len = 0; len < limit && len < b.files[f].size(); len += step) {
            writeBytes(b.path(f),
                       std::vector<std::uint8_t>(b.files[f].begin(),
                                                 b.files[f].begin() + static_cast<long>(len)));
            b.probeAll();
        }
        b.restore();
    }
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        const int f = round % 3;
        std::vector<std::uint8_t> bytes = b.files[f];
        for (int k = 0; k < 1 + round % 8; ++k) {
            // Flip bits where the reader looks: page headers, entry lengths, slots, bounds.
            const std::size_t at =
                f == 0 ? BOOK_PAGE_SIZE +
                             rng() % std::min<std::size_t>(bytes.size() - BOOK_PAGE_SIZE, 600)
                       : rng() % bytes.size();
            bytes[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        writeBytes(b.path(f), bytes);
        b.probeAll();
        b.restore();
    }
}

TEST(BookFuzz, RandomFilesAndRandomFenText) {
    SmallBook b;
    std::mt19937 rng(13);
    for (int round = 0; round < 60; ++round) {
        for (int f = 0; f < 3; ++f) {
            std::vector<std::uint8_t> bytes(rng() % 9000);
            for (auto& x : bytes) x = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0xFF : rng());
            writeBytes(b.path(f), bytes);
        }
        b.probeAll();
    }
    b.restore();
    const char alphabet[] = "pnbrqkPNBRQK12345678/ wb-KQkqabcdefgh0 9x";
    TarvokBook book(1);
    book.setBookPath(b.name.c_str());
    std::FILE* sink = std::fopen("/dev/null", "w");
    book.setOutput(BookOutput{sink, ""});
    for (int round = 0; round < 3000; ++round) {
        std::string fen;
        if (round % 2) {
            fen = b.fens[rng() % b.fens.size()];
            for (int k = 0; k < 3; ++k)
                fen[rng() % fen.size()] = alphabet[rng() % (sizeof alphabet - 1)];
            fen.resize(rng() % (fen.size() + 1));
        } else {
            const int n = rng() % 120;
            for (int k = 0; k < n; ++k) fen += alphabet[rng() % (sizeof alphabet - 1)];
        }
        char text[BOOK_MOVE_TEXT_SIZE] = "";
        book.probeBook(fen.c_str(), text);
        ASSERT_LT(std::strlen(text), sizeof text);
    }
    std::fclose(sink);
}

TEST(BookFuzz, EntriesThatLieAboutTheirSizes) {
    initTables();
    TempDir dir;
    const std::string name = dir.file("raw.ctg");
    const BookBoard start = bookBoard(START_FEN);
    const std::string key = keyText(start);
    BookWriter w;
    // 60 moves (all e2e4): 50 are kept, the block is skipped whole.
    std::vector<std::uint8_t> big(key.begin(), key.end());
    big.push_back(1 + 2 * 60);
    for (int i = 0; i < 60; ++i) big.push_back(0x1F), big.push_back(0); // 0x1F stands for no move
    big.back() = 0;
    big[key.size() + 1 + 2 * 59] = 0x6B; // the last one: castling, past the 50 kept
    big.resize(big.size() + BOOK_STATS_SIZE, 0);
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
    EXPECT_EQ(book.probeBook(START_FEN, text), 1); // no move decodes: none qualifies
    EXPECT_STREQ(text, "");
    std::fclose(sink);
    // An entry count beyond the page and an entry running past byte 4096.
    auto page = readBytes(name);
    page[BOOK_PAGE_SIZE] = 0x7F;
    writeBytes(name, page);
    EXPECT_EQ(findEntry(name.c_str(), bookBoard("4k3/8/8/8/8/8/8/4K3 w - - 0 1"), e), 0);
    page[BOOK_PAGE_SIZE + 4 + key.size()] = 0xFF;
    page[BOOK_PAGE_SIZE] = 0;
    page[BOOK_PAGE_SIZE + 1] = 1;
    writeBytes(name, page);
    std::uint8_t buf[BOOK_PAGE_SIZE] = {};
    std::memcpy(buf, page.data() + BOOK_PAGE_SIZE, 200);
    EXPECT_EQ(searchPage(buf, 4 + static_cast<int>(key.size()) + 100, start, e), 0);
}

} // namespace
