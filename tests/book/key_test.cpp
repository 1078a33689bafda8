// The book's position key (orientation, square codes, trailer, hash), the
// FEN messages, the dumps, and the table of move codes.
#include <gtest/gtest.h>

#include <map>

#include "book/move_codes.h"
#include "book_support.h"

using namespace book_test;

namespace {

std::string hex(const BookBoard& b) {
    std::string s;
    char buf[3];
    for (int i = 0; i < b.keyLength; ++i)
        s += (std::snprintf(buf, 3, "%02x", b.huffmanKey[i]), buf);
    return s;
}

TEST(BookKey, KeysOfPositions) {
    const char* rows[][2] = {
        {START_FEN, "56b60f7960f3a60f58b078e0c1e1a60f5960f3b60f7f"},
        {"4k3/8/8/8/8/8/4P3/3K4 w - - 0 1", "0b00000060430000000000"}, // mirrored: Ke1, Pd2
        {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "0b00000000830210000000"},
        {"r3k3/8/8/8/8/8/8/3K4 w q - 0 1", "4c0170000800008400000004"}, // a right: no mirror
        {"2k5/8/8/8/8/8/8/5K2 b - - 0 1", "0b00000108000400000000"},    // Black's king mirrors
        {"5k2/8/8/8/8/8/8/2K5 b - - 0 1", "0b00000108000400000000"},    // no mirror, same key
        {"r3k2r/8/8/8/4P3/8/8/R3K2R b KQkq e3 0 1", "4db017000000807210000b017f"}, // no ep pawn
        {"r3k2r/8/8/8/3pP3/8/8/R3K2R b KQkq e3 0 1", "6eb01700000c201c840002c05c4f"},
        {"r3k2r/8/8/8/4Pp2/8/8/R3K2R b KQkq e3 0 1", "6eb017000000807210c002c05c4f"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b Qk - 0 1", "4db017000000800840002c05c6"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Qk - 0 1", "4db017000000800840002c05c9"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - z6 0 1", "0b0000000e201884000000"}, // z is no file
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "2c0000000e20188400000003"},
        {"4k3/8/8/2Pp4/8/8/8/2K5 w - d6 0 1", "2c00000001087100c0000004"}, // mirrored: file e
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", "0b00000000800840000000"},       // 74 bits padded
        {"4k3/8/8/8/8/8/P2P3P/4K3 w - - 0 1", "0c6000001808008400018000"}, // 80: zero byte
        {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", "4c00000000800840002c0002"},
    };
    for (auto& row : rows) EXPECT_EQ(hex(bookBoard(row[0])), row[1]) << row[0];
    const BookBoard start = bookBoard(START_FEN), black = bookBoard(rows[7][0]);
    EXPECT_EQ(bookHash(start.huffmanKey, start.keyLength), 0xEB7ED3D7u);
    EXPECT_EQ(bookHash(black.huffmanKey, black.keyLength), 0x02680B4Du);
    EXPECT_EQ(black.flipped * 10 + black.mirrored, 10);
    EXPECT_EQ(bookBoard(rows[1][0]).flipped * 10 + bookBoard(rows[1][0]).mirrored, 1);
}

TEST(BookKey, MalformedFenPrintsItsMessage) {
    const std::string start = START_FEN;
    const std::string rows[][2] = {
        {"rnbqkbnr/ppppXppp" + start.substr(17), "illegal character in fen"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1", "too many characters in fen"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1", "too many characters in fen"},
        {" " + start, "too many characters in fen"},
        {start.substr(0, 44) + "x" + start.substr(45), "Illegal fen"},
        {start.substr(0, 43), "Illegal fen"},
        {start.substr(0, 50), "Illegal fen"},
    };
    for (auto& row : rows) {
        BookBoard b;
        int result = 1;
        const std::string out = captured([&](std::FILE* f) {
            result = readFen(row[0].c_str(), b, BookOutput{f, "info string "});
        });
        EXPECT_EQ(out, "info string ERROR: " + row[1] + "\n") << row[0];
        EXPECT_EQ(result, 0) << row[0];
    }
}

TEST(BookKey, TheDumpsShowBoardAndKey) {
    const BookBoard b = bookBoard("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
    std::string empty;
    for (int i = 0; i < 6; ++i) empty += ". . . . . . . . \n";
    EXPECT_EQ(captured([&](std::FILE* f) { dumpBookBoard(b, f); }),
              "\n=== bookboard: ===\n. . . . k . . . \n" + empty +
                  ". . . . K . . . \ncastle=0\nenpassant=-1\n\n");
    EXPECT_EQ(captured([&](std::FILE* f) { dumpHuffmanKey(b, f); }),
              "====== huffmankey =====\nnumber of bytes:11\n00001011 00000000 00000000 00000000 "
              "00000000 10000000 00001000 01000000 \n00000000 00000000 00000000 \n"
              "11 0 0 0 0 -128 8 64 0 0 0 \n\n");
}

// Every step of every piece has exactly one code: pawns 1-8, two knights,
// bishops and rooks, two queens (the second has +6/0 twice and never 0/+6)
// and the king with its two castling codes.
TEST(BookMoveTable, EveryStepOfEveryPieceHasOneCode) {
    std::map<std::string, int> seen;
    auto name = [](char letter, int n, int dr, int df) {
        return std::string{letter, char('0' + n), ' ', char('0' + (dr + 8) % 8),
                           char('0' + (df + 8) % 8)};
    };
    for (int code = 0; code < 256; ++code) {
        const MoveCode& c = moveCodeEntry(code);
        if (c.letter) ++seen[name(c.letter, c.number, c.rankStep, c.fileStep)];
    }
    std::map<std::string, int> expected;
    auto need = [&](char letter, int n, int dr, int df) { ++expected[name(letter, n, dr, df)]; };
    for (int n = 1; n <= 8; ++n)
        for (auto [dr, df] : {std::pair{1, 0}, {2, 0}, {1, 1}, {1, -1}}) need('P', n, dr, df);
    for (int n = 1; n <= 2; ++n)
        for (int a : {1, -1, 2, -2})
            for (int b : {1, -1, 2, -2})
                if (a * a + b * b == 5) need('N', n, a, b);
    for (int d = 1; d <= 7; ++d) {
        for (auto [letter, n] : {std::pair{'B', 1}, {'B', 2}, {'Q', 1}, {'Q', 2}}) {
            need(letter, n, d, d);
            if (d != 4) need(letter, n, d, -d); // +4/-4 is +4/+4
        }
        for (int n = 1; n <= 2; ++n) need('R', n, d, 0), need('R', n, 0, d);
        need('Q', 1, d, 0), need('Q', 1, 0, d), need('Q', 2, d, 0);
        need('Q', 2, d == 6 ? 6 : 0, d == 6 ? 0 : d);
    }
    for (int dr = -1; dr <= 1; ++dr)
        for (int df = -1; df <= 1; ++df)
            if (dr || df) need('K', 1, dr, df);
    need('K', 1, 0, 2), need('K', 1, 0, -2);
    EXPECT_EQ(seen, expected);
}

} // namespace
