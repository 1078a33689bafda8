#include "app/position_check.h"

#include <bit>
#include <cstring>

#include "app/output.h"
#include "board/attacks.h"
#include "board/repetition.h"

namespace {

// Men per colour: [0 white, 1 black][kind].
struct MenCount {
    int n[2][6] = {};
};

// At most 16 men a side, and every piece beyond the initial set must be a
// promoted pawn.
bool plausibleMaterial(const MenCount& c) {
    for (int side = 0; side < 2; ++side) {
        const int* k = c.n[side];
        if (k[KING] != 1) return false;
        int men = k[PAWN] + k[KNIGHT] + k[BISHOP] + k[ROOK] + k[QUEEN] + k[KING];
        if (men > 16) return false;
        auto extra = [](int have, int initial) { return have > initial ? have - initial : 0; };
        int promoted =
            extra(k[QUEEN], 1) + extra(k[ROOK], 2) + extra(k[BISHOP], 2) + extra(k[KNIGHT], 2);
        if (promoted > 8 - k[PAWN]) return false;
    }
    return true;
}

} // namespace

bool isPlayablePlacement(const char* fen) {
    const char* p = fen;
    while (*p == ' ') ++p;
    MenCount count;
    for (int rank = 7; rank >= 0; --rank) {
        int files = 0;
        while (files < 8) {
            char c = *p++;
            if (c >= '1' && c <= '8') {
                files += c - '0';
                continue;
            }
            int kind = pieceKindOfLetter(c);
            if (kind < 0) return false;
            if (kind == PAWN && (rank == 0 || rank == 7)) return false;
            ++count.n[c >= 'a' ? 1 : 0][kind];
            ++files;
        }
        if (files != 8) return false;
        if (rank > 0 && *p++ != '/') return false;
    }
    if (*p != ' ' && *p != 0 && *p != '\n' && *p != '\r') return false;
    return plausibleMaterial(count);
}

bool isPlayableBoard(const Board& b) {
    MenCount count;
    for (int side = 0; side < 2; ++side) {
        for (int kind = PAWN; kind <= KING; ++kind) {
            count.n[side][kind] = std::popcount(b.pieceBB[kind][side]);
        }
    }
    if (!plausibleMaterial(count)) return false;
    const U64 backRanks = 0xFF000000000000FFull;
    if ((b.pieceBB[PAWN][0] | b.pieceBB[PAWN][1]) & backRanks) return false;
    if (b.toMove != WHITE && b.toMove != BLACK) return false;
    // The king of the side that just moved must not stand in check.
    int justMoved = -b.toMove;
    int kingSq = b.kingSq[justMoved == WHITE ? 0 : 1];
    if (kingSq < 0 || kingSq > 63) return false;
    return !isSquareAttacked(b, kingSq, justMoved);
}

bool dropImpossibleRights(Board& b) {
    auto holds = [&b](int sq, int kind, int colour) {
        return b.squares[sq] == kind && (b.colourBB[colour] >> sq & 1);
    };
    struct Right {
        int bit, king, rook, colour;
    };
    static constexpr Right rights[] = {
        {CASTLE_WK, E1, H1, 0},
        {CASTLE_WQ, E1, A1, 0},
        {CASTLE_BK, E8, H8, 1},
        {CASTLE_BQ, E8, A8, 1},
    };
    bool changed = false;
    for (const Right& r : rights) {
        if ((b.castle & r.bit) &&
            !(holds(r.king, KING, r.colour) && holds(r.rook, ROOK, r.colour))) {
            b.castle &= ~r.bit;
            changed = true;
        }
    }
    if (b.enpassant != 0) {
        int ep = b.enpassant;
        bool ok;
        if (b.toMove == WHITE) {
            // Black's pawn went from ep + 8 to ep - 8.
            ok = rankOf(ep) == 5 && holds(ep - 8, PAWN, 1) && b.squares[ep] == EMPTY &&
                 b.squares[ep + 8] == EMPTY;
        } else {
            ok = rankOf(ep) == 2 && holds(ep + 8, PAWN, 0) && b.squares[ep] == EMPTY &&
                 b.squares[ep - 8] == EMPTY;
        }
        if (!ok) {
            b.enpassant = 0;
            changed = true;
        }
    }
    return changed;
}

bool loadPlayablePosition(Board& board, const char* fen) {
    if (!isPlayablePlacement(fen)) return false;
    const RepetitionRing savedRing = repetitionRing;
    Board candidate;
    setFromFen(candidate, fen);
    if (!isPlayableBoard(candidate)) {
        repetitionRing = savedRing;
        return false;
    }
    if (dropImpossibleRights(candidate)) {
        char text[FEN_BUFFER_SIZE];
        writeFen(candidate, text);
        setFromFen(candidate, text);
    }
    board = candidate;
    return true;
}

void sayIllegalPosition(const char* fen) {
    say("Error (illegal position): %.*s\n", static_cast<int>(std::strcspn(fen, "\r\n")), fen);
}
