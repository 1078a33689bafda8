// Move text in both directions. Every parsed text is resolved against the
// legal moves of the position, so a parsed move carries the flag bits the
// generator gave it (the double-push bit in particular). The parsers read the
// text one character at a time and stop at its terminating zero, whatever
// bytes come before it.
#include "board/notation.h"

#include <cstdio>

#include "board/movegen.h"

namespace {

// Promotion kind named by a letter, 0 if the letter names none.
int promotionOf(char c) {
    const int kind = pieceKindOfLetter(c);
    return kind >= KNIGHT && kind <= QUEEN ? kind : 0;
}

bool isFileLetter(char c) {
    return c >= 'a' && c <= 'h';
}
bool isRankDigit(char c) {
    return c >= '1' && c <= '8';
}
int fileIndex(char letter) {
    return 'h' - letter;
} // 0 = h-file .. 7 = a-file
int squareFrom(char letter, char digit) {
    return fileIndex(letter) + 8 * (digit - '1');
}

// The legal move whose from, to and promotion fields equal code, or 0.
Move findByCode(const Move* legal, unsigned code) {
    for (int i = 0; legal[i] != NO_MOVE; ++i)
        if ((legal[i] & 0x7FFFu) == code) return legal[i];
    return NO_MOVE;
}

// True if text starts with prefix; never looks past text's terminating zero.
bool startsWith(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (*text != *prefix) return false;
    return true;
}

} // namespace

char* formatMove(unsigned move, char* buf, bool lowerPromotion) {
    move &= 0xFFFFu;
    if (move == NULL_MOVE) {
        const char* text = "NULLMOVE";
        int i = 0;
        for (; text[i]; ++i) buf[i] = text[i];
        buf[i] = '\0';
        return buf;
    }
    int from = moveFrom(move), to = moveTo(move), promo = movePromo(move);
    int n = 0;
    buf[n++] = fileChar(from);
    buf[n++] = rankChar(from);
    buf[n++] = fileChar(to);
    buf[n++] = rankChar(to);
    if (promo >= KNIGHT && promo <= QUEEN) {
        char letter = " NBRQ"[promo];
        buf[n++] = lowerPromotion ? static_cast<char>(letter - 'A' + 'a') : letter;
    }
    buf[n] = '\0';
    return buf;
}

void printMove(unsigned move) {
    char buf[MOVE_TEXT_SIZE];
    std::fputs(formatMove(move, buf), stdout);
}

void printMoveList(const Move* list) {
    char buf[MOVE_TEXT_SIZE];
    for (; *list != NO_MOVE; ++list) std::printf("%s ", formatMove(*list, buf));
    std::fputs("\n", stdout);
}

Move parseCoordinateMove(const Board& board, const char* text) {
    // Collect up to five characters, stopping at the end of the text.
    char c[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < 5 && text[i] != '\0'; ++i) c[i] = text[i];

    // SAN texts, captures written with "x" and castling by letters are not
    // coordinate moves; nor is a text that ends before its third character.
    switch (c[0]) {
    case 'N':
    case 'B':
    case 'R':
    case 'Q':
    case 'K':
    case 'O':
    case 'o':
        return NO_MOVE;
    default:
        break;
    }
    if (c[1] == 'x' || c[2] == 'x') return NO_MOVE;
    if (c[1] == '\0' || c[2] == '\0' || c[2] == '\n') return NO_MOVE;

    // Characters outside a..h / 1..8 name no square, hence no move.
    if (!isFileLetter(c[0]) || !isRankDigit(c[1]) || !isFileLetter(c[2]) || !isRankDigit(c[3]))
        return NO_MOVE;
    unsigned code = static_cast<unsigned>(squareFrom(c[0], c[1])) |
                    static_cast<unsigned>(squareFrom(c[2], c[3])) << 6 |
                    static_cast<unsigned>(promotionOf(c[4])) << 12;

    Move legal[MOVELIST_CAPACITY];
    generateLegal(board, legal);
    return findByCode(legal, code);
}

Move parseSanMove(const Board& board, const char* text) {
    Move legal[MOVELIST_CAPACITY];

    // Castling, the long form first since the short one is its prefix.
    const bool white = board.toMove == WHITE;
    if (startsWith(text, "o-o-o") || startsWith(text, "O-O-O")) {
        generateLegal(board, legal);
        return findByCode(legal, white ? makeMoveCode(E1, C1) : makeMoveCode(E8, C8));
    }
    if (startsWith(text, "o-o") || startsWith(text, "O-O")) {
        generateLegal(board, legal);
        return findByCode(legal, white ? makeMoveCode(E1, G1) : makeMoveCode(E8, G8));
    }

    // Piece letter: a lower-case first character is a pawn's file and stays
    // for the scan; anything else is the piece letter itself.
    const char* p = text;
    char piece;
    if (*p == '\0') return NO_MOVE;
    if (*p >= 'a' && *p <= 'z') {
        piece = 'P';
    } else {
        piece = *p++;
    }

    // Files and ranks, at most two of each; further ones are passed over
    // without being kept. The character that ends the scan may name a promotion.
    char files[2] = {0, 0}, ranks[2] = {0, 0};
    int nFiles = 0, nRanks = 0;
    for (;; ++p) {
        if (isFileLetter(*p)) {
            if (nFiles < 2) files[nFiles++] = *p;
        } else if (isRankDigit(*p)) {
            if (nRanks < 2) ranks[nRanks++] = *p;
        } else if (*p != 'x') {
            break;
        }
    }
    const int promo = promotionOf(*p);

    int target;
    int needFile = -1, needRank = -1; // disambiguation of the from-square
    if (nFiles == 2 && nRanks == 2) {
        unsigned code = static_cast<unsigned>(squareFrom(files[0], ranks[0])) |
                        static_cast<unsigned>(squareFrom(files[1], ranks[1])) << 6 |
                        static_cast<unsigned>(promo) << 12;
        generateLegal(board, legal);
        return findByCode(legal, code);
    } else if (nFiles == 2 && nRanks == 1) {
        target = squareFrom(files[1], ranks[0]);
        needFile = fileIndex(files[0]);
    } else if (nFiles == 1 && nRanks == 2) {
        target = squareFrom(files[0], ranks[1]);
        needRank = ranks[0] - '1';
    } else if (nFiles == 1 && nRanks == 1) {
        target = squareFrom(files[0], ranks[0]);
    } else {
        return NO_MOVE;
    }

    // The first legal move, in generation order, that fits; no ambiguity check.
    generateLegal(board, legal);
    for (int i = 0; legal[i] != NO_MOVE; ++i) {
        const int from = moveFrom(legal[i]);
        if (moveTo(legal[i]) != target) continue;
        const int kind = board.squares[from];
        if (kind < PAWN || kind > KING || "PNBRQK"[kind] != piece) continue;
        if (needFile >= 0 && (from & 7) != needFile) continue;
        if (needRank >= 0 && (from >> 3) != needRank) continue;
        return legal[i];
    }
    return NO_MOVE;
}
