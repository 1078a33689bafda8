#include "board/board.h"

#include <cstdio>
#include <cstring>

#include "board/bitboard.h"
#include "board/repetition.h"
#include "board/tables.h"

namespace {

EvaluateHook evaluateHook = nullptr;

// Clock limits: far beyond any real game, small enough that counting on
// from them never overflows.
constexpr int MAX_HALFMOVE_CLOCK = 1000;
constexpr int MAX_FULLMOVE_NUMBER = 1000000;

const char pieceLetters[] = "PNBRQK";

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

const unsigned char* skipSpaces(const unsigned char* p) {
    while (*p == ' ') ++p;
    return p;
}

// Reads a decimal number, saturating at limit; p is left after the digits.
int readClock(const unsigned char*& p, int limit) {
    int value = 0;
    while (isDigit(*p)) {
        value = value * 10 + (*p - '0');
        if (value > limit) value = limit;
        ++p;
    }
    return value;
}

// Castling rights whose king and rook are not on their home squares would
// make the generator castle from a wrong square; they are dropped.
std::uint8_t usableCastling(const Board& b, std::uint8_t castle) {
    struct Right {
        int bit, side, king, rook;
    };
    static const Right rights[4] = {{CASTLE_WK, 0, E1, H1},
                                    {CASTLE_WQ, 0, E1, A1},
                                    {CASTLE_BK, 1, E8, H8},
                                    {CASTLE_BQ, 1, E8, A8}};
    std::uint8_t kept = 0;
    for (const Right& r : rights) {
        if (!(castle & r.bit)) continue;
        if ((b.pieceBB[KING][r.side] & bit(r.king)) && (b.pieceBB[ROOK][r.side] & bit(r.rook)))
            kept |= r.bit;
    }
    return kept;
}

// An en-passant square is kept only where a double push could have made it:
// rank 6 with white to move (rank 3 with black), empty, with the enemy pawn
// just beyond it and its start square empty. Anything else would let a later
// quiet move be taken for an en-passant capture.
int usableEnPassant(const Board& b, int sq) {
    if (sq <= 0 || sq >= 64) return 0;
    int ahead = b.toMove == WHITE ? -8 : 8; // where the enemy pawn stands
    int enemy = b.toMove == WHITE ? 1 : 0;
    if (rankOf(sq) != (b.toMove == WHITE ? 5 : 2)) return 0;
    if (b.occupied & bit(sq)) return 0;
    if (b.occupied & bit(sq - ahead)) return 0;
    if (!(b.pieceBB[PAWN][enemy] & bit(sq + ahead))) return 0;
    return sq;
}

U64 keyFromScratch(const Board& b) {
    U64 key = 0;
    for (int sq = 0; sq < 64; ++sq) {
        if (b.squares[sq] == EMPTY) continue;
        int ci = (b.colourBB[0] & bit(sq)) ? 1 : 0;
        key ^= zobrist.piece[b.squares[sq]][ci][sq];
    }
    if (b.enpassant) key ^= zobrist.piece[EMPTY][0][b.enpassant];
    if (b.toMove == BLACK) key ^= zobrist.side;
    key ^= zobrist.castle[b.castle & 15];
    return key;
}

} // namespace

void setFromFen(Board& board, const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
    Board& b = board;
    std::memset(&b, 0, sizeof b);
    std::memset(b.squares, EMPTY, sizeof b.squares);
    b.kingSq[0] = E1; // a side without a king keeps its home square here
    b.kingSq[1] = E8;

    // Placement from a8 down to h1. Pawns on the first or last rank are left
    // out: no reader has to cope with a pawn that cannot move or promote.
    int sq = 63;
    while (sq >= 0 && *p) {
        unsigned char c = *p++;
        int kind = pieceKindOfLetter(static_cast<char>(c));
        if (kind >= 0) {
            bool white = c < 'a';
            int side = white ? 0 : 1;
            bool backRank = sq < 8 || sq >= 56;
            if (!(kind == PAWN && backRank)) {
                b.squares[sq] = static_cast<std::int8_t>(kind);
                setBit(b.pieceBB[kind][side], sq);
                (white ? b.wMat : b.bMat) += pieceValue[kind];
                if (kind == KING) b.kingSq[side] = static_cast<std::int8_t>(sq);
            }
            --sq;
        } else if (isDigit(c)) {
            sq -= c - '0';
        }
    }

    p = skipSpaces(p);
    b.toMove = *p == 'w' ? WHITE : BLACK;
    if (*p) ++p;
    p = skipSpaces(p);

    std::uint8_t castle = 0;
    if (*p == 'K') castle |= CASTLE_WK, ++p;
    if (*p == 'Q') castle |= CASTLE_WQ, ++p;
    if (*p == 'k') castle |= CASTLE_BK, ++p;
    if (*p == 'q') castle |= CASTLE_BQ, ++p;
    if (*p == '-') ++p;
    p = skipSpaces(p);

    int enpassant = 0;
    if (*p && *p != '-') {
        unsigned char file = *p++;
        if (*p) {
            unsigned char rank = *p++;
            if (file >= 'a' && file <= 'h' && rank >= '1' && rank <= '8')
                enpassant = 8 * (rank - '1') + ('h' - file);
        }
    } else if (*p == '-') {
        ++p;
    }
    p = skipSpaces(p);

    b.halfmoveClock = readClock(p, MAX_HALFMOVE_CLOCK);
    p = skipSpaces(p);
    if (isDigit(*p)) {
        int fullmove = readClock(p, MAX_FULLMOVE_NUMBER);
        b.gamePly = (fullmove < 1 ? 1 : 2 * fullmove - 1) - (b.toMove + 1) / 2;
    }

    for (int kind = PAWN; kind <= KING; ++kind) {
        b.colourBB[0] |= b.pieceBB[kind][0];
        b.colourBB[1] |= b.pieceBB[kind][1];
    }
    b.occupied = b.colourBB[0] | b.colourBB[1];
    for (int kind = KNIGHT; kind <= QUEEN; ++kind) {
        b.pieceCount[1][kind] = static_cast<std::int8_t>(popcount(b.pieceBB[kind][0]));
        b.pieceCount[0][kind] = static_cast<std::int8_t>(popcount(b.pieceBB[kind][1]));
    }
    b.castle = usableCastling(b, castle);
    b.enpassant = static_cast<std::int8_t>(usableEnPassant(b, enpassant));
    b.lazy = b.wMat - b.bMat;
    b.totalMat = b.wMat + b.bMat;
    b.positional = 0;
    b.recaptureSq = 255;
    b.boardkey = keyFromScratch(b);

    evaluateThroughHook(b, -SCORE_INFINITE, SCORE_INFINITE);
    repetitionRing.reset(b.boardkey, b.gamePly);
}

void setStartPosition(Board& board) {
    setFromFen(board, START_FEN);
}

void writeFen(const Board& b, char* buf) {
    char* out = buf;
    for (int rank = 7; rank >= 0; --rank) {
        int empties = 0;
        for (int file = 0; file < 8; ++file) {
            int sq = squareOf(file, rank);
            int kind = b.squares[sq];
            if (kind < PAWN || kind > KING) {
                ++empties;
                continue;
            }
            if (empties) *out++ = static_cast<char>('0' + empties), empties = 0;
            char letter = pieceLetters[kind];
            *out++ = (b.colourBB[0] & bit(sq)) ? letter : static_cast<char>(letter - 'A' + 'a');
        }
        if (empties) *out++ = static_cast<char>('0' + empties);
        if (rank) *out++ = '/';
    }
    *out++ = ' ';
    *out++ = b.toMove == WHITE ? 'w' : 'b';
    *out++ = ' ';
    if (!(b.castle & 15)) *out++ = '-';
    if (b.castle & CASTLE_WK) *out++ = 'K';
    if (b.castle & CASTLE_WQ) *out++ = 'Q';
    if (b.castle & CASTLE_BK) *out++ = 'k';
    if (b.castle & CASTLE_BQ) *out++ = 'q';
    *out++ = ' ';
    if (b.enpassant > 0 && b.enpassant < 64) {
        *out++ = fileChar(b.enpassant);
        *out++ = rankChar(b.enpassant);
    } else {
        *out++ = '-';
    }
    std::snprintf(out, static_cast<std::size_t>(FEN_BUFFER_SIZE - (out - buf)), " %d %d",
                  static_cast<int>(b.halfmoveClock), static_cast<int>(b.gamePly / 2 + 1));
}

void setSideToMove(Board& board, int side) {
    if (board.toMove == side) return;
    board.toMove = static_cast<std::int8_t>(-board.toMove);
    board.boardkey ^= zobrist.side;
}

void printBoard(const Board& board) {
    static const char glyphs[] = "pnbrqk.PNBRQK.";
    for (int rank = 7; rank >= 0; --rank) {
        std::printf("\n");
        for (int file = 0; file < 8; ++file) {
            int sq = squareOf(file, rank);
            int kind = board.squares[sq];
            if (kind < PAWN || kind > EMPTY) kind = EMPTY;
            int white = (board.colourBB[0] & bit(sq)) ? 7 : 0;
            std::printf("%c ", glyphs[white + kind]);
        }
    }
    std::fputs(board.toMove == WHITE ? "\ntoMove=white" : "\ntoMove=black", stdout);
    if (board.castle) {
        std::printf("  castle=");
        if (board.castle & CASTLE_WK) std::printf("K");
        if (board.castle & CASTLE_WQ) std::printf("Q");
        if (board.castle & CASTLE_BK) std::printf("k");
        if (board.castle & CASTLE_BQ) std::printf("q");
    }
    if (board.enpassant > 0 && board.enpassant < 64)
        std::printf("  enpassant=%c%d", fileChar(board.enpassant), (board.enpassant >> 3) + 1);
    Board copy = board;
    int eval = evaluateThroughHook(copy, -SCORE_INFINITE, SCORE_INFINITE) * board.toMove;
    std::printf("  eval=%d", eval);
    std::printf("  lazy=%d  wMat=%d  bMat=%d", board.lazy, board.wMat, board.bMat);
    std::printf("\nboardkey= %d",
                static_cast<std::int32_t>(static_cast<std::uint32_t>(board.boardkey)));
    char fen[FEN_BUFFER_SIZE];
    writeFen(board, fen);
    std::printf("\n%s\n\n\n", fen);
}

void setEvaluateHook(EvaluateHook hook) {
    evaluateHook = hook;
}

int evaluateThroughHook(Board& board, int alpha, int beta) {
    return evaluateHook ? evaluateHook(board, alpha, beta) : 0;
}

void printBitboard(U64 b) {
    for (int rank = 7; rank >= 0; --rank) {
        for (int file = 0; file < 8; ++file)
            std::fputs((b >> squareOf(file, rank)) & 1 ? "1 " : "0 ", stdout);
        std::printf("\n");
    }
    std::printf("\n");
}
