#include "book/book_board.h"

#include <cstring>

void bookSay(const BookOutput& output, const char* text) {
    std::fputs(output.linePrefix, output.out);
    std::fputs(text, output.out);
    std::fputc('\n', output.out);
}

namespace {

bool isPieceLetter(char c) {
    return c != 0 && std::strchr("PNBRQKpnbrqk", c) != nullptr;
}

char swapCase(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 32);
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
    return c;
}

const char* skipBlanks(const char* p) {
    while (*p == ' ') ++p;
    return p;
}

// Fills the 64 squares from the board field; p is left on the character
// that ended it. Returns 0 after printing the message on a bad field.
int readBoardField(const char*& p, BookBoard& b, int& whiteKing, int& blackKing,
                   const BookOutput& output) {
    int filled = 0;
    if (*p == ' ') {
        bookSay(output, "ERROR: too many characters in fen");
        return 0;
    }
    for (; *p != ' ' && *p != 0; ++p) {
        char c = *p;
        if (c == '/') continue;
        int count = 0;
        if (isPieceLetter(c)) {
            count = 1;
        } else if (c >= '1' && c <= '8') {
            count = c - '0';
        } else {
            bookSay(output, "ERROR: illegal character in fen");
            return 0;
        }
        if (filled + count > 64) {
            bookSay(output, "ERROR: too many characters in fen");
            return 0;
        }
        if (count == 1 && isPieceLetter(c)) {
            if (c == 'K') whiteKing = filled;
            if (c == 'k') blackKing = filled;
            b.squares[filled++] = c;
        } else {
            while (count-- > 0) b.squares[filled++] = '.';
        }
    }
    if (filled != 64) {
        bookSay(output, "ERROR: too many characters in fen");
        return 0;
    }
    return 1;
}

struct BitWriter {
    BookBoard& b;
    int bits = 0; // bits written after the header byte

    void put(int bit) {
        int byte = 1 + bits / 8;
        if (bits % 8 == 0) b.huffmanKey[byte] = 0;
        if (bit) b.huffmanKey[byte] |= static_cast<std::uint8_t>(0x80 >> (bits % 8));
        ++bits;
    }
    void putBits(int value, int count) {
        for (int i = count - 1; i >= 0; --i) put((value >> i) & 1);
    }
};

// Square codes: the bits and their count before the colour bit.
struct SquareCode {
    int bits;
    int count;
};

SquareCode codeOf(char piece) {
    switch (piece | 0x20) {
    case 'p':
        return {0b11, 2};
    case 'n':
        return {0b1001, 4};
    case 'b':
        return {0b1010, 4};
    case 'r':
        return {0b1011, 4};
    case 'q':
        return {0b10001, 5};
    default:
        return {0b10000, 5}; // king
    }
}

const std::uint32_t HASH_TABLE[64] = {
    0x3100d2bf, 0x3118e3de, 0x34ab1372, 0x2807a847, 0x1633f566, 0x2143b359, 0x26d56488, 0x3b9e6f59,
    0x37755656, 0x3089ca7b, 0x18e92d85, 0x0cd0e9d8, 0x1a9e3b54, 0x3eaa902f, 0x0d9bfaae, 0x2f32b45b,
    0x31ed6102, 0x3d3c8398, 0x146660e3, 0x0f8d4b76, 0x02c77a5f, 0x146c8799, 0x1c47f51f, 0x249f8f36,
    0x24772043, 0x1fbc1e4d, 0x1e86b3fa, 0x37df36a6, 0x16ed30e4, 0x02c3148e, 0x216e5929, 0x0636b34e,
    0x317f9f56, 0x15f09d70, 0x131026fb, 0x38c784b1, 0x29ac3305, 0x2b485dc5, 0x3c049ddc, 0x35a9fbcd,
    0x31d5373b, 0x2b246799, 0x0a2923d3, 0x08a96e9d, 0x30031a9f, 0x08f525b5, 0x33611c06, 0x2409db98,
    0x0ca4feb2, 0x1000b71e, 0x30566e32, 0x39447d31, 0x194e3752, 0x08233a95, 0x0f38fe36, 0x29c7cd57,
    0x0f7b3a39, 0x328e8a16, 0x1e7d1388, 0x0fba78f5, 0x274c7e7c, 0x1e8be65c, 0x2fa0b0bb, 0x1eb6c371};

} // namespace

void turnOver(BookBoard& b) {
    char turned[64];
    for (int i = 0; i < 64; ++i) turned[(i % 8) + 56 - 8 * (i / 8)] = swapCase(b.squares[i]);
    std::memcpy(b.squares, turned, 64);
}

void mirrorBoard(BookBoard& b) {
    for (int row = 0; row < 8; ++row) {
        for (int f = 0; f < 4; ++f) {
            char t = b.squares[row * 8 + f];
            b.squares[row * 8 + f] = b.squares[row * 8 + 7 - f];
            b.squares[row * 8 + 7 - f] = t;
        }
    }
    b.mirrored = 1;
    if (b.epFile != -1) b.epFile = 7 - b.epFile;
}

int readFen(const char* fen, BookBoard& b, const BookOutput& output) {
    b.castle = 0;
    b.epFile = -1;
    b.flipped = 0;
    b.mirrored = 0;
    b.keyLength = 0;
    int whiteKing = -1, blackKing = -1;
    const char* p = fen;
    if (!readBoardField(p, b, whiteKing, blackKing, output)) return 0;

    p = skipBlanks(p);
    const char side = static_cast<char>(*p | 0x20);
    if (side != 'w' && side != 'b') {
        bookSay(output, "ERROR: Illegal fen");
        return 0;
    }
    const bool black = side == 'b';
    p = skipBlanks(p + 1);
    if (*p == 'K') b.castle |= 2, ++p;
    if (*p == 'Q') b.castle |= 1, ++p;
    if (*p == 'k') b.castle |= 8, ++p;
    if (*p == 'q') b.castle |= 4, ++p;
    if (*p == '-') ++p;
    p = skipBlanks(p);
    if (*p == 0) {
        bookSay(output, "ERROR: Illegal fen");
        return 0;
    }
    if (*p != '-') {
        b.epFile = *p - 'a';
        if (b.epFile < 0 || b.epFile > 7) b.epFile = -1; // not a file letter
    }

    int moverKing = black ? blackKing : whiteKing;
    if (black) {
        b.flipped = 1;
        b.castle = swapCastleHalves(b.castle);
        turnOver(b);
    }
    if (b.castle == 0 && moverKing >= 0 && moverKing % 8 <= 3) mirrorBoard(b);
    if (b.epFile != -1) {
        const bool left = b.epFile > 0 && b.squares[24 + b.epFile - 1] == 'P';
        const bool right = b.epFile < 7 && b.squares[24 + b.epFile + 1] == 'P';
        if (!left && !right) b.epFile = -1;
    }
    encodeKey(b);
    return 1;
}

void encodeKey(BookBoard& b) {
    BitWriter w{b};
    for (int file = 0; file < 8; ++file) {
        for (int rank = 0; rank < 8; ++rank) {
            const char piece = b.squares[bookIndex(file, rank)];
            if (piece == '.') {
                w.put(0);
                continue;
            }
            SquareCode code = codeOf(piece);
            w.putBits(code.bits, code.count);
            w.put(piece >= 'a' ? 1 : 0);
        }
    }
    const bool ep = b.epFile != -1;
    const bool castle = b.castle != 0;
    const int fieldBits = (ep ? 3 : 0) + (castle ? 4 : 0);
    int room = 8 - w.bits % 8;
    if (fieldBits > room) {
        w.putBits(0, room);
        room = 8;
    }
    w.putBits(0, room - fieldBits);
    if (ep) w.putBits(b.epFile, 3);
    if (castle) w.putBits(b.castle, 4);
    b.keyLength = 1 + w.bits / 8;
    b.huffmanKey[0] =
        static_cast<std::uint8_t>(b.keyLength + (ep ? 0x20 : 0) + (castle ? 0x40 : 0));
}

std::uint32_t bookHash(const std::uint8_t* key, int length) {
    std::uint32_t hash = 0, t = 0;
    for (int i = 0; i < length; ++i) {
        const std::uint32_t b = key[i];
        t += 4 * (15 - (b & 0x0F)) + 1;
        hash += HASH_TABLE[t & 63];
        t += ((0xF0 - (b & 0xF0)) / 4) + 1;
        hash += HASH_TABLE[t & 63];
    }
    return hash;
}

void dumpBookBoard(const BookBoard& b, std::FILE* out) {
    std::fputs("\n=== bookboard: ===\n", out);
    for (int row = 0; row < 8; ++row) {
        for (int f = 0; f < 8; ++f) std::fprintf(out, "%c ", b.squares[row * 8 + f]);
        std::fputc('\n', out);
    }
    std::fprintf(out, "castle=%d\n", b.castle);
    std::fprintf(out, "enpassant=%d\n\n", b.epFile);
}

void dumpHuffmanKey(const BookBoard& b, std::FILE* out) {
    std::fputs("====== huffmankey =====\n", out);
    std::fprintf(out, "number of bytes:%d\n", b.keyLength);
    for (int i = 0; i < b.keyLength; ++i) {
        for (int bit = 7; bit >= 0; --bit)
            std::fputc((b.huffmanKey[i] >> bit) & 1 ? '1' : '0', out);
        std::fputc(' ', out);
        if (i % 8 == 7) std::fputc('\n', out);
    }
    std::fputc('\n', out);
    for (int i = 0; i < b.keyLength; ++i)
        std::fprintf(out, "%d ", static_cast<int>(static_cast<std::int8_t>(b.huffmanKey[i])));
    std::fputs("\n\n", out);
}
