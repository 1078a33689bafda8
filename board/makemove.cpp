#include "board/makemove.h"

#include <cstdio>

#include "board/bitboard.h"
#include "board/repetition.h"
#include "board/tables.h"

namespace {

// A king on the to-square means an illegal position reached the search; say
// so with the move and the board, then play on.
[[gnu::cold, gnu::noinline]] void reportKingCapture(const Board& b, unsigned move, int mover) {
    std::fputs(mover == WHITE ? "\n king has been captured! Move=" : "\n king has been captured!\n",
               stdout);
    static const char promoLetters[] = " NBRQ";
    int from = moveFrom(move), to = moveTo(move), promo = movePromo(move);
    std::printf("%c%c%c%c", fileChar(from), rankChar(from), fileChar(to), rankChar(to));
    if (promo >= KNIGHT && promo <= QUEEN) std::putchar(promoLetters[promo]);
    printBoard(b);
}

inline void moveBit(U64& bb, int from, int to) {
    bb ^= bit(from) | bit(to);
}

} // namespace

void makeMove(Board& b, unsigned move) {
    move &= 0xFFFF;
    if (move == NULL_MOVE) {
        ++b.nullMoveCount;
        b.toMove = static_cast<std::int8_t>(-b.toMove);
        b.boardkey ^= zobrist.side;
        b.boardkey ^= zobrist.piece[EMPTY][0][b.enpassant];
        b.enpassant = 0;
        return;
    }

    const int white = b.toMove == WHITE;
    const int us = white ? 0 : 1; // pieceBB / colourBB / kingSq index
    const int them = us ^ 1;
    const int ci = white ? 1 : 0; // Zobrist / pieceCount index
    const int enemyCi = ci ^ 1;
    const int pawnValue = pieceValue[PAWN];

    b.nullMoveCount = 0;
    const int from = moveFrom(move), to = moveTo(move);
    int promo = movePromo(move);
    const int moved = b.squares[from];
    const int captured = b.squares[to];
    b.squares[to] = static_cast<std::int8_t>(moved);
    b.squares[from] = EMPTY;

    switch (moved) {
    case PAWN:
        clearBit(b.pieceBB[PAWN][us], from);
        if (promo) {
            if (promo > QUEEN) promo = QUEEN;
            int delta = pieceValue[promo] - pawnValue;
            if (white) {
                b.wMat += delta;
                b.lazy += delta;
            } else {
                b.bMat += delta;
                b.lazy -= delta;
            }
            b.totalMat += delta;
            b.squares[to] = static_cast<std::int8_t>(promo);
            ++b.pieceCount[ci][promo];
            setBit(b.pieceBB[promo][us], to);
        } else {
            setBit(b.pieceBB[PAWN][us], to);
            if (to == b.enpassant && b.enpassant) {
                int victim = white ? to - 8 : to + 8;
                U64 victimBit = bit(victim);
                b.pieceBB[PAWN][them] &= ~victimBit;
                b.colourBB[them] &= ~victimBit;
                b.occupied &= ~victimBit;
                if (white) {
                    b.bMat -= pawnValue;
                    b.lazy += pawnValue;
                } else {
                    b.wMat -= pawnValue;
                    b.lazy -= pawnValue;
                }
                b.totalMat -= pawnValue;
                b.boardkey ^= zobrist.piece[PAWN][enemyCi][victim];
                b.squares[victim] = EMPTY;
            }
        }
        break;
    case KNIGHT:
    case BISHOP:
    case QUEEN:
        moveBit(b.pieceBB[moved][us], from, to);
        break;
    case ROOK: {
        moveBit(b.pieceBB[ROOK][us], from, to);
        const int kingCorner = white ? H1 : H8, queenCorner = white ? A1 : A8;
        const int kingRight = white ? CASTLE_WK : CASTLE_BK;
        const int queenRight = white ? CASTLE_WQ : CASTLE_BQ;
        if (from == kingCorner && (b.castle & kingRight)) {
            b.boardkey ^= zobrist.castle[kingRight];
            b.castle &= ~kingRight;
        } else if (from == queenCorner && (b.castle & queenRight)) {
            b.boardkey ^= zobrist.castle[queenRight];
            b.castle &= ~queenRight;
        }
        break;
    }
    case KING: {
        moveBit(b.pieceBB[KING][us], from, to);
        b.kingSq[us] = static_cast<std::int8_t>(to);
        const int rights = b.castle & (white ? CASTLE_WK | CASTLE_WQ : CASTLE_BK | CASTLE_BQ);
        if (rights) {
            b.boardkey ^= zobrist.castle[rights];
            b.castle &= ~rights;
        }
        if (!(kingAttacks[from] & bit(to))) {
            // Castling: the rook jumps to the square the king crossed.
            int rookFrom, rookTo;
            if (to == (white ? G1 : G8)) {
                rookFrom = white ? H1 : H8;
                rookTo = white ? F1 : F8;
            } else {
                rookFrom = white ? A1 : A8;
                rookTo = white ? D1 : D8;
            }
            U64 rookMove = bit(rookFrom) | bit(rookTo);
            b.pieceBB[ROOK][us] ^= rookMove;
            b.colourBB[us] ^= rookMove;
            b.occupied ^= rookMove;
            b.boardkey ^= zobrist.piece[ROOK][ci][rookFrom] ^ zobrist.piece[ROOK][ci][rookTo];
            b.squares[rookFrom] = EMPTY;
            b.squares[rookTo] = ROOK;
        }
        break;
    }
    default:
        break;
    }

    if (captured != EMPTY) {
        clearBit(b.pieceBB[captured][them], to);
        if (captured == ROOK) {
            const int kingCorner = white ? H8 : H1, queenCorner = white ? A8 : A1;
            const int kingRight = white ? CASTLE_BK : CASTLE_WK;
            const int queenRight = white ? CASTLE_BQ : CASTLE_WQ;
            if (to == kingCorner && (b.castle & kingRight)) {
                b.boardkey ^= zobrist.castle[kingRight];
                b.castle &= ~kingRight;
            } else if (to == queenCorner && (b.castle & queenRight)) {
                b.boardkey ^= zobrist.castle[queenRight];
                b.castle &= ~queenRight;
            }
        }
        if (captured == KING) {
            reportKingCapture(b, move, b.toMove);
        } else {
            --b.pieceCount[enemyCi][captured];
        }
        clearBit(b.colourBB[them], to);
        b.boardkey ^= zobrist.piece[captured][enemyCi][to];
        const int value = pieceValue[captured];
        if (white) {
            b.bMat -= value;
            b.lazy += value;
        } else {
            b.wMat -= value;
            b.lazy -= value;
        }
        b.totalMat -= value;
    }

    b.colourBB[us] ^= bit(from) | bit(to);
    b.recaptureSq = pieceValue[moved] == pieceValue[captured] ? static_cast<std::uint8_t>(to) : 255;
    clearBit(b.occupied, from);
    if (captured == EMPTY) setBit(b.occupied, to);
    b.boardkey ^= zobrist.piece[moved][ci][from] ^ zobrist.piece[b.squares[to]][ci][to];

    b.toMove = static_cast<std::int8_t>(-b.toMove);
    b.boardkey ^= zobrist.side;
    if (b.enpassant) {
        b.boardkey ^= zobrist.piece[EMPTY][0][b.enpassant];
        b.enpassant = 0;
    }
    if (move & DOUBLE_PUSH_FLAG) {
        b.enpassant = static_cast<std::int8_t>((from + to) / 2);
        b.boardkey ^= zobrist.piece[EMPTY][0][b.enpassant];
    }
    b.halfmoveClock = (captured == EMPTY && moved != PAWN) ? b.halfmoveClock + 1 : 0;
    ++b.gamePly;
    repetitionRing.record(b.gamePly, b.boardkey);
}
