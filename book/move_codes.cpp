#include "book/move_codes.h"

#include <array>

namespace {

// The 256 codes as text: letter, number, rank step, file step; "" for no move.
// The two castling codes are "K1 O-O" and "K1 O-O-O".
constexpr const char* CODE_TEXT[256] = {
    "P5 +1/+1", "N2 -1/-2", "",         "Q2 0/+2",  "P2 +1/0",  "Q1 +1/0",  "P4 +1/-1", "",
    "Q2 0/+4",  "B2 +6/+6", "K1 -1/0",  "",         "P1 +1/-1", "B1 +3/+3", "R2 0/+3",  "N1 -1/-2",
    "",         "",         "B1 +7/+7", "K1 +1/0",  "P8 +1/+1", "B1 +5/+5", "",         "",
    "P7 +1/0",  "",         "Q2 +6/0",  "B1 +1/-1", "",         "B2 +7/+7", "",         "",
    "",         "R2 0/+7",  "B2 +2/-2", "Q2 +6/+6", "P8 +1/-1", "",         "B1 +7/-7", "P3 +1/-1",
    "Q1 +5/+5", "Q1 0/+6",  "N2 -2/+1", "",         "",         "P6 +1/+1", "B1 +1/+1", "Q1 0/+1",
    "N2 -2/-1", "Q1 0/+3",  "B2 +5/+5", "",         "N1 +2/+1", "",         "N1 +1/+2", "Q1 +4/0",
    "Q2 +4/-4", "Q1 0/+5",  "B1 +6/+6", "Q2 +5/-5", "B1 +5/-5", "",         "",         "",
    "",         "Q2 +5/+5", "Q1 +7/-7", "",         "K1 -1/+1", "Q1 +3/+3", "",         "",
    "",         "",         "P8 +2/0",  "Q1 +5/-5", "N2 +2/+1", "Q2 +1/0",  "",         "",
    "R1 +6/0",  "",         "R1 0/+6",  "",         "B2 +1/-1", "P3 +1/0",  "",         "",
    "",         "",         "",         "",         "P7 +1/+1", "",         "",         "P5 +2/0",
    "",         "Q1 +6/+6", "P2 +2/0",  "Q2 +7/-7", "",         "",         "B1 +3/-3", "K1 +1/+1",
    "",         "R2 +7/0",  "B1 +4/+4", "K1 0/+2",  "",         "",         "R1 0/+5",  "Q2 +7/+7",
    "",         "",         "B2 +7/-7", "",         "Q1 0/+2",  "",         "",         "",
    "",         "B2 +6/-6", "R1 +3/0",  "R2 +6/0",  "P3 +1/+1", "R2 +1/0",  "Q1 +3/-3", "R1 0/+1",
    "Q1 +6/-6", "R1 +1/0",  "P6 +1/-1", "",         "",         "N1 +2/-1", "R1 0/+7",  "R1 +5/0",
    "",         "",         "N1 -2/+1", "P1 +1/+1", "K1 -1/-1", "",         "Q2 +2/-2", "Q1 0/+7",
    "",         "",         "Q2 +1/+1", "",         "Q1 +3/0",  "",         "P2 +1/+1", "K1 0/-1",
    "R1 0/+3",  "R1 +4/0",  "Q1 +6/0",  "P3 +2/0",  "",         "Q1 +2/0",  "",         "B2 +4/-4",
    "Q2 +3/0",  "",         "Q1 +2/+2", "P8 +1/0",  "",         "R2 +5/0",  "",         "",
    "",         "R2 0/+2",  "",         "Q2 +6/-6", "",         "R2 0/+4",  "Q2 +3/+3", "",
    "Q2 +4/0",  "P6 +2/0",  "B1 +6/-6", "",         "",         "R2 0/+5",  "",         "Q1 +5/0",
    "",         "B2 +3/+3", "",         "P5 +1/0",  "Q2 0/+5",  "Q2 +2/0",  "K1 0/+1",  "",
    "",         "B1 +2/+2", "B2 +2/+2", "B1 +2/-2", "R2 0/+1",  "R2 +4/0",  "Q2 +5/0",  "P7 +1/-1",
    "P7 +2/0",  "Q2 +7/0",  "B2 +3/-3", "P6 +1/0",  "B2 +5/-5", "R1 0/+2",  "",         "P4 +1/0",
    "",         "P2 +1/-1", "N2 +1/+2", "N2 +1/-2", "",         "",         "",         "Q1 +1/-1",
    "R2 0/+6",  "Q1 +2/-2", "N1 -2/-1", "P1 +2/0",  "",         "",         "P5 +1/-1", "K1 +1/-1",
    "N2 -1/+2", "R1 +7/0",  "",         "R2 +3/0",  "",         "Q1 0/+4",  "P4 +2/0",  "Q1 +4/+4",
    "R1 +2/0",  "N1 -1/+2", "",         "P4 +1/+1", "P1 +1/0",  "Q1 +7/+7", "Q2 +1/-1", "R1 0/+4",
    "Q2 0/+7",  "Q1 +1/+1", "",         "N2 +2/-1", "R2 +2/0",  "B2 +1/+1", "K1 0/-2",  "N1 +1/-2",
    "Q2 0/+1",  "Q2 +6/0",  "Q2 0/+3",  "Q2 +2/+2", "",         "Q1 +7/0",  "Q2 +3/-3", "",
};

constexpr int parseStep(const char*& p) {
    int sign = 1;
    if (*p == '+')
        ++p;
    else if (*p == '-')
        sign = -1, ++p;
    int v = sign * (*p++ - '0');
    return ((v % 8) + 8) % 8;
}

constexpr MoveCode parseCode(const char* text) {
    if (text[0] == 0) return MoveCode{0, 0, 0, 0};
    MoveCode c{text[0], text[1] - '0', 0, 0};
    const char* p = text + 3;
    c.rankStep = parseStep(p);
    ++p; // '/'
    c.fileStep = parseStep(p);
    return c;
}

constexpr std::array<MoveCode, 256> buildTable() {
    std::array<MoveCode, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = parseCode(CODE_TEXT[i]);
    return t;
}

constexpr std::array<MoveCode, 256> CODES = buildTable();

// From-square of the n-th capital piece of the letter, visiting a1, a2 .. h8.
bool findPiece(const BookBoard& b, char letter, int number, int& file, int& rank) {
    int seen = 0;
    for (int f = 0; f < 8; ++f) {
        for (int r = 0; r < 8; ++r) {
            if (b.squares[bookIndex(f, r)] == letter && ++seen == number) {
                file = f;
                rank = r;
                return true;
            }
        }
    }
    return false;
}

int pieceNumber(const BookBoard& b, int file, int rank) {
    const char letter = b.squares[bookIndex(file, rank)];
    int seen = 0;
    for (int f = 0; f < 8; ++f) {
        for (int r = 0; r < 8; ++r) {
            if (b.squares[bookIndex(f, r)] == letter) ++seen;
            if (f == file && r == rank) return seen;
        }
    }
    return 0;
}

} // namespace

const MoveCode& moveCodeEntry(int code) {
    return CODES[code & 0xFF];
}

bool decodeMove(const BookBoard& b, int code, BookMove& m) {
    code &= 0xFF;
    if (code == CODE_CASTLE_KING_SIDE || code == CODE_CASTLE_QUEEN_SIDE) {
        m = {4, 0, code == CODE_CASTLE_KING_SIDE ? 6 : 2, 0};
        return true;
    }
    const MoveCode& c = CODES[code];
    if (c.letter == 0) return false;
    if (!findPiece(b, c.letter, c.number, m.fromFile, m.fromRank)) return false;
    m.toRank = (m.fromRank + c.rankStep) % 8;
    m.toFile = (m.fromFile + c.fileStep) % 8;
    return true;
}

void applyMove(BookBoard& b, const BookMove& m) {
    char& from = b.squares[bookIndex(m.fromFile, m.fromRank)];
    char& to = b.squares[bookIndex(m.toFile, m.toRank)];
    const char piece = from;
    const char captured = to;
    if (piece == 'P' && m.fromFile != m.toFile && captured == '.') {
        char& passed = b.squares[bookIndex(m.toFile, m.fromRank)];
        if (passed == 'p') passed = '.';
    }
    to = (piece == 'P' && m.toRank == 7) ? 'Q' : piece;
    from = '.';

    if (piece == 'K') {
        if (m.fromFile == 4 && m.fromRank == 0 && m.toRank == 0 && m.toFile == 6) {
            b.squares[bookIndex(7, 0)] = '.';
            b.squares[bookIndex(5, 0)] = 'R';
        } else if (m.fromFile == 4 && m.fromRank == 0 && m.toRank == 0 && m.toFile == 2) {
            b.squares[bookIndex(0, 0)] = '.';
            b.squares[bookIndex(3, 0)] = 'R';
        }
        b.castle &= ~3;
    }
    if (piece == 'R' && m.fromRank == 0 && m.fromFile == 0) b.castle &= ~1;
    if (piece == 'R' && m.fromRank == 0 && m.fromFile == 7) b.castle &= ~2;
    if (captured == 'r' && m.toRank == 7 && m.toFile == 0) b.castle &= ~4;
    if (captured == 'r' && m.toRank == 7 && m.toFile == 7) b.castle &= ~8;

    b.epFile = -1;
    if (piece == 'P' && m.fromRank == 1 && m.toRank == 3) {
        const bool left = m.toFile > 0 && b.squares[bookIndex(m.toFile - 1, 3)] == 'p';
        const bool right = m.toFile < 7 && b.squares[bookIndex(m.toFile + 1, 3)] == 'p';
        if (left || right) b.epFile = m.toFile;
    }
    if (b.castle != 0) b.castle = swapCastleHalves(b.castle);
    turnOver(b);
    b.flipped = !b.flipped;
    b.mirrored = 0;
    if (b.castle == 0) {
        for (int i = 63; i >= 0; --i) {
            if (b.squares[i] == 'K') {
                if (i % 8 <= 3) mirrorBoard(b);
                break;
            }
        }
    }
    encodeKey(b);
}

void bookMoveText(const BookBoard& b, const BookMove& m, char* text) {
    const bool promotion = m.fromRank == 6 && b.squares[bookIndex(m.fromFile, m.fromRank)] == 'P';
    int ff = m.fromFile, fr = m.fromRank, tf = m.toFile, tr = m.toRank;
    if (b.mirrored) ff = 7 - ff, tf = 7 - tf;
    if (b.flipped) fr = 7 - fr, tr = 7 - tr;
    int n = 0;
    text[n++] = static_cast<char>('a' + ff);
    text[n++] = static_cast<char>('1' + fr);
    text[n++] = static_cast<char>('a' + tf);
    text[n++] = static_cast<char>('1' + tr);
    if (promotion) text[n++] = 'Q';
    text[n] = 0;
}

BookMove normaliseMove(const BookBoard& b, int fromFile, int fromRank, int toFile, int toRank) {
    if (b.mirrored) fromFile = 7 - fromFile, toFile = 7 - toFile;
    if (b.flipped) fromRank = 7 - fromRank, toRank = 7 - toRank;
    return {fromFile, fromRank, toFile, toRank};
}

int findMoveCode(const BookBoard& b, const BookMove& m) {
    const char letter = b.squares[bookIndex(m.fromFile, m.fromRank)];
    if (letter < 'A' || letter > 'Z') return -1;
    if (letter == 'K' && m.fromFile == 4 && m.fromRank == 0 && m.toRank == 0) {
        if (m.toFile == 6) return CODE_CASTLE_KING_SIDE;
        if (m.toFile == 2) return CODE_CASTLE_QUEEN_SIDE;
    }
    const int number = pieceNumber(b, m.fromFile, m.fromRank);
    const int rankStep = (m.toRank - m.fromRank + 8) % 8;
    const int fileStep = (m.toFile - m.fromFile + 8) % 8;
    for (int code = 0; code < 256; ++code) {
        const MoveCode& c = CODES[code];
        if (c.letter == letter && c.number == number && c.rankStep == rankStep &&
            c.fileStep == fileStep)
            return code;
    }
    return -1;
}
