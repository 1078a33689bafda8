// The book's position key: normalisation, bit layout, trailer, hash, and the
// FEN messages.
#include <gtest/gtest.h>

#include "book/move_codes.h"
#include "book_support.h"
#include <map>

using namespace book_test;

namespace {

std::string hexKey(const BookBoard& b) {
    std::string s;
    char buf[4];
    for (int i = 0; i < b.keyLength; ++i) {
        std::snprintf(buf, sizeof buf, "%s%02x", i ? " " : "", b.huffmanKey[i]);
        s += buf;
    }
    return s;
}

TEST(BookKey, StartPositionKeyAndHash) {
    BookBoard b = bookBoard(START_FEN);
    EXPECT_EQ(hexKey(b), "56 b6 0f 79 60 f3 a6 0f 58 b0 78 e0 c1 e1 a6 0f 59 60 f3 b6 0f 7f");
    EXPECT_EQ(bookHash(b.huffmanKey, b.keyLength), 0xEB7ED3D7u);
    EXPECT_EQ(b.castle, 15);
    EXPECT_EQ(b.mirrored, 0);
    EXPECT_EQ(b.flipped, 0);
}

TEST(BookKey, KingOnFilesAToDMirrorsOnlyWithoutCastling) {
    BookBoard d1 = bookBoard("4k3/8/8/8/8/8/4P3/3K4 w - - 0 1");
    BookBoard e1 = bookBoard("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    EXPECT_EQ(d1.mirrored, 1);
    EXPECT_EQ(d1.squares[bookIndex(4, 0)], 'K'); // d1 read as e1
    EXPECT_EQ(d1.squares[bookIndex(3, 1)], 'P'); // e2 read as d2
    EXPECT_EQ(e1.mirrored, 0);
    // The king on d1 with a castling right for the other side: not mirrored.
    EXPECT_EQ(bookBoard("r3k3/8/8/8/8/8/8/3K4 w q - 0 1").mirrored, 0);
    // For Black, the black king decides.
    EXPECT_EQ(bookBoard("2k5/8/8/8/8/8/8/5K2 b - - 0 1").mirrored, 1);
    EXPECT_EQ(bookBoard("5k2/8/8/8/8/8/8/2K5 b - - 0 1").mirrored, 0);
}

TEST(BookKey, BlackToMoveTurnsOverAndKeepsEnPassantOnlyBesideAPawn) {
    const char* noPawn = "r3k2r/8/8/8/4P3/8/8/R3K2R b KQkq e3 0 1";
    BookBoard b = bookBoard(noPawn);
    EXPECT_EQ(b.flipped, 1);
    EXPECT_EQ(b.castle, (8 + 4 + 2 + 1)); // all four, halves swapped
    EXPECT_EQ(b.epFile, -1);
    EXPECT_EQ(b.squares[bookIndex(4, 4)], 'p'); // the white e4 pawn, turned over
    EXPECT_EQ(b.huffmanKey[0] & 0x20, 0);

    for (const char* fen :
         {"r3k2r/8/8/8/3pP3/8/8/R3K2R b KQkq e3 0 1", "r3k2r/8/8/8/4Pp2/8/8/R3K2R b KQkq e3 0 1"}) {
        BookBoard with = bookBoard(fen);
        EXPECT_EQ(with.epFile, 4) << fen;
        EXPECT_EQ(with.huffmanKey[0], with.keyLength + 0x20 + 0x40) << fen;
        // Trailer: file 4 in three bits, then castle 1111, ending the byte.
        EXPECT_EQ(with.huffmanKey[with.keyLength - 1] & 0x7F, (4 << 4) | 0x0F) << fen;
    }
    // Only Q for White and k for Black: the halves swap (k -> bit 1, Q -> bit 2).
    EXPECT_EQ(bookBoard("r3k2r/8/8/8/8/8/8/R3K2R b Qk - 0 1").castle, 2 + 4);
    // A letter outside a-h is no en-passant file.
    EXPECT_EQ(bookBoard("4k3/8/8/3pP3/8/8/8/4K3 w - z6 0 1").epFile, -1);
    EXPECT_EQ(bookBoard("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1").epFile, 3);
}

TEST(BookKey, SquaresEndingOnAByteAddAZeroByte) {
    // Two kings (6 bits each) and 62 empty squares: 74 bits, padded to 80.
    BookBoard two = bookBoard("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(two.keyLength, 1 + 10);
    EXPECT_EQ(two.huffmanKey[0], 11);
    // Kings (12 bits), three pawns (9) and 59 empty squares: exactly 80 bits,
    // so a whole zero byte follows.
    BookBoard exact = bookBoard("4k3/8/8/8/8/8/P2P3P/4K3 w - - 0 1");
    EXPECT_EQ(exact.mirrored, 0);
    EXPECT_EQ(exact.keyLength, 1 + 10 + 1);
    EXPECT_EQ(exact.huffmanKey[exact.keyLength - 1], 0);
    // Castling bits that fit the last byte's room share it.
    BookBoard castle = bookBoard("4k3/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_EQ(castle.huffmanKey[0], castle.keyLength + 0x40);
    EXPECT_EQ(castle.huffmanKey[castle.keyLength - 1] & 0x0F, 2);
}

TEST(BookKey, MalformedFenPrintsItsMessage) {
    struct Case {
        const char* fen;
        const char* message;
    } cases[] = {
        {"rnbqkbnr/ppppXppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
         "ERROR: illegal character in fen\n"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1",
         "ERROR: too many characters in fen\n"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1",
         "ERROR: too many characters in fen\n"},
        {"88888888/8/8 w - - 0 1", "ERROR: too many characters in fen\n"},
        {" rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
         "ERROR: too many characters in fen\n"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1", "ERROR: Illegal fen\n"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "ERROR: Illegal fen\n"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq", "ERROR: Illegal fen\n"},
    };
    for (const Case& c : cases) {
        BookBoard b;
        int result = 1;
        std::string out = captured([&](std::FILE* f) {
            result = readFen(c.fen, b, BookOutput{f, "info string "});
        });
        EXPECT_EQ(result, 0) << c.fen;
        EXPECT_EQ(out, std::string("info string ") + c.message) << c.fen;
    }
}

TEST(BookKey, TheDumpsShowBoardAndKey) {
    BookBoard b = bookBoard("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
    std::string board = captured([&](std::FILE* f) { dumpBookBoard(b, f); });
    EXPECT_EQ(board, "\n=== bookboard: ===\n. . . . k . . . \n. . . . . . . . \n. . . . . . . . \n"
                     ". . . . . . . . \n. . . . . . . . \n. . . . . . . . \n. . . . . . . . \n"
                     ". . . . K . . . \ncastle=0\nenpassant=-1\n\n");
    std::string key = captured([&](std::FILE* f) { dumpHuffmanKey(b, f); });
    EXPECT_EQ(key.substr(0, 51), "====== huffmankey =====\nnumber of bytes:11\n00001011");
}

TEST(BookMoveTable, EveryStepOfEveryPieceHasOneCode) {
    int codes = 0;
    std::map<std::string, int> seen;
    for (int c = 0; c < 256; ++c) {
        const MoveCode& m = moveCodeEntry(c);
        if (m.letter == 0) continue;
        ++codes;
        if (c == CODE_CASTLE_KING_SIDE || c == CODE_CASTLE_QUEEN_SIDE) continue;
        std::string k = std::string(1, m.letter) + std::to_string(m.number) + " " +
                        std::to_string(m.rankStep) + "/" + std::to_string(m.fileStep);
        ++seen[k];
    }
    EXPECT_EQ(codes, 166);
    auto count = [&](char letter, int n, int dr, int df) {
        return seen[std::string(1, letter) + std::to_string(n) + " " +
                    std::to_string((dr + 8) % 8) + "/" + std::to_string((df + 8) % 8)];
    };
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(count('P', n, 1, 0), 1) << n;
        EXPECT_EQ(count('P', n, 2, 0), 1) << n;
        EXPECT_EQ(count('P', n, 1, 1), 1) << n;
        EXPECT_EQ(count('P', n, 1, -1), 1) << n;
    }
    const int knight[8][2] = {{1, 2},  {2, 1},  {-1, 2},  {-2, 1},
                              {1, -2}, {2, -1}, {-1, -2}, {-2, -1}};
    for (int n = 1; n <= 2; ++n)
        for (auto& s : knight) EXPECT_EQ(count('N', n, s[0], s[1]), 1) << n;
    for (int d = 1; d <= 7; ++d) {
        for (int n = 1; n <= 2; ++n) {
            EXPECT_EQ(count('B', n, d, d), 1) << n << " " << d;
            if (d != 4) {
                EXPECT_EQ(count('B', n, d, -d), 1) << n << " " << d;
            }
            EXPECT_EQ(count('R', n, d, 0), 1) << n << " " << d;
            EXPECT_EQ(count('R', n, 0, d), 1) << n << " " << d;
        }
        EXPECT_EQ(count('Q', 1, d, d), 1) << d;
        if (d != 4) {
            EXPECT_EQ(count('Q', 1, d, -d), 1) << d;
        }
        EXPECT_EQ(count('Q', 1, d, 0), 1) << d;
        EXPECT_EQ(count('Q', 1, 0, d), 1) << d;
        EXPECT_EQ(count('Q', 2, d, d), 1) << d;
        if (d != 4) {
            EXPECT_EQ(count('Q', 2, d, -d), 1) << d;
        }
        EXPECT_EQ(count('Q', 2, d, 0), d == 6 ? 2 : 1) << d; // +6/0 is listed twice
        EXPECT_EQ(count('Q', 2, 0, d), d == 6 ? 0 : 1) << d; // and 0/+6 never
    }
    const int king[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    for (auto& s : king) EXPECT_EQ(count('K', 1, s[0], s[1]), 1);
}

} // namespace
