// The book's position key (orientation, square codes, trailer, hash) and the
// FEN messages, the dumps, and the table of move codes.
#include <gtest/gtest.h>

#include "book/move_codes.h"
#include "book_support.h"

using namespace book_test;

namespace {

TEST(BookKey, KeysOfPositionsAndMessagesOfMalformedFens) {
    const std::string start = START_FEN, illegal = "# ERROR: Illegal fen\n",
                      tooMany = "# ERROR: too many characters in fen\n";
    const std::string rows[][2] = {
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
        {"rnbqkbnr/ppppXppp" + start.substr(17), "# ERROR: illegal character in fen\n"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1", tooMany},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1", tooMany},
        {" " + start, tooMany},
        {start.substr(0, 44) + "x" + start.substr(45), illegal},
        {start.substr(0, 43), illegal},
        {start.substr(0, 50), illegal},
    };
    for (auto& [fen, expected] : rows) {
        const std::string out = captured([&](std::FILE* f) {
            BookBoard b;
            if (readFen(fen.c_str(), b, BookOutput{f, "# "}))
                for (int i = 0; i < b.keyLength; ++i) std::fprintf(f, "%02x", b.huffmanKey[i]);
        });
        EXPECT_EQ(out, expected) << fen;
    }
    const BookBoard b = bookBoard(START_FEN);
    EXPECT_EQ(bookHash(b.huffmanKey, b.keyLength), 0xEB7ED3D7u);
}

TEST(BookKey, TheDumpsShowBoardAndKey) {
    const BookBoard b = bookBoard("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
    std::string empty;
    for (int i = 0; i < 6; ++i) empty += ". . . . . . . . \n";
    EXPECT_EQ(captured([&](std::FILE* f) { dumpBookBoard(b, f), dumpHuffmanKey(b, f); }),
              "\n=== bookboard: ===\n. . . . k . . . \n" + empty +
                  ". . . . K . . . \ncastle=0\nenpassant=-1\n\n====== huffmankey =====\nnumber of "
                  "bytes:11\n00001011 00000000 00000000 00000000 00000000 10000000 00001000 "
                  "01000000 \n00000000 00000000 00000000 \n11 0 0 0 0 -128 8 64 0 0 0 \n\n");
}

// The 256 codes (piece letter, number among its kind, rank and file steps)
// are those of the book format: any changed entry changes the digest.
TEST(BookMoveTable, DigestOfTheCodes) {
    std::uint32_t digest = 2166136261u;
    for (int code = 0; code < 256; ++code) {
        const MoveCode& c = moveCodeEntry(code);
        for (int v : {int(c.letter), c.number, c.rankStep, c.fileStep})
            digest = (digest ^ std::uint32_t(v)) * 16777619u;
    }
    EXPECT_EQ(digest, 0x0AA7E049u);
}

} // namespace
