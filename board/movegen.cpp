#include "board/movegen.h"

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/magics.h"
#include "board/makemove.h"
#include "board/tables.h"

namespace {

// Room for the terminating 0 (and, in the quiescence list, its 0 score).
constexpr int MAX_MOVES = MOVELIST_CAPACITY - 1;

constexpr U64 FILE_H = 0x0101010101010101ull;
constexpr U64 FILE_A = 0x8080808080808080ull;
constexpr U64 RANK_2 = 0x000000000000FF00ull;
constexpr U64 RANK_7 = 0x00FF000000000000ull;

constexpr int SCORE_UNDEFENDED = 28672;
constexpr int SCORE_PROMOTION = 24576;
constexpr int SCORE_EVEN_TRADE = 20480;
constexpr int SCORE_LOSING = 16384;
constexpr int SCORE_LOSING_QUIESCENCE = -1;
constexpr int SCORE_KILLER = 8192;
constexpr int SCORE_HISTORY = 4096;

// Appends to a MoveList; moves beyond the capacity are dropped.
struct Sink {
    MoveList& list;
    int n = 0;
    void add(int move, int score) {
        if (n < MAX_MOVES) {
            list.moves[n] = static_cast<Move>(move);
            list.scores[n] = static_cast<std::int16_t>(score);
            ++n;
        }
    }
};

// Colour-dependent geometry: Us = 0 for white, 1 for black.
template <int Us> struct Side {
    static constexpr int sign = Us == 0 ? WHITE : BLACK;
    static constexpr U64 promotionRank = Us == 0 ? RANK_7 : RANK_2; // pawns about to promote
    static constexpr U64 startRank = Us == 0 ? RANK_2 : RANK_7;
    static constexpr int up = Us == 0 ? 8 : -8;
    static constexpr int upA = Us == 0 ? 9 : -7; // capture toward the a-file
    static constexpr int upH = Us == 0 ? 7 : -9; // capture toward the h-file
    static U64 shift(U64 b, int by) { return by > 0 ? b << by : b >> -by; }
};

// Squares a knight, king, rook-direction or bishop-direction mover on `from`
// reaches (sliders up to and including the first blocker).
inline U64 pieceTargets(int kind, U64 occupied, int from) {
    switch (kind) {
    case KNIGHT:
        return knightAttacks[from];
    case KING:
        return kingAttacks[from];
    case ROOK:
        return slideRook(occupied, from);
    default:
        return slideBishop(occupied, from);
    }
}

// Order score of a capture (victim and attacker by pieceValue, an empty
// en-passant to-square counting 0): an undefended victim scores by its worth;
// on a square the side not to move attacks, by what the exchange gains, with
// even trades and losing captures below (losing ones cut in quiescence).
int captureScore(const Board& b, int from, int to, bool quiescence) {
    int victim = pieceValue[b.squares[to]];
    int attacker = pieceValue[b.squares[from]];
    int pawn = pieceValue[PAWN];
    if (!isSquareAttacked(b, to, b.toMove)) return SCORE_UNDEFENDED + victim / pawn;
    if (victim > attacker) return SCORE_UNDEFENDED + (victim - attacker) / pawn;
    if (victim == attacker) return SCORE_EVEN_TRADE;
    return quiescence ? SCORE_LOSING_QUIESCENCE : SCORE_LOSING;
}

template <int Us>
void addPieceCaptures(const Board& b, Sink& s, U64 pieces, bool quiescence, int kind) {
    const U64 enemy = b.colourBB[Us ^ 1];
    while (pieces) {
        int from = popHighest(pieces);
        U64 targets = pieceTargets(kind, b.occupied, from);
        targets &= enemy;
        while (targets) {
            int to = popHighest(targets);
            s.add(from | to << 6, captureScore(b, from, to, quiescence));
        }
    }
}

template <int Us> void captures(const Board& b, Sink& s, bool quiescence) {
    using S = Side<Us>;
    const U64 pawns = b.pieceBB[PAWN][Us];
    const U64 enemy = b.colourBB[Us ^ 1];
    const U64 promoting = pawns & S::promotionRank;
    const U64 others = pawns & ~S::promotionRank;
    const int queenPromo = QUEEN << 12;

    U64 t = S::shift(promoting, S::up) & ~b.occupied;
    while (t) {
        int to = popHighest(t);
        s.add((to - S::up) | to << 6 | queenPromo, SCORE_PROMOTION);
    }
    t = S::shift(others & ~FILE_A, S::upA) & enemy;
    while (t) {
        int to = popHighest(t);
        s.add((to - S::upA) | to << 6, captureScore(b, to - S::upA, to, quiescence));
    }
    t = S::shift(others & ~FILE_H, S::upH) & enemy;
    while (t) {
        int to = popHighest(t);
        s.add((to - S::upH) | to << 6, captureScore(b, to - S::upH, to, quiescence));
    }
    if (b.enpassant) {
        const int ep = b.enpassant;
        if (S::shift(pawns & ~FILE_A, S::upA) & bit(ep))
            s.add((ep - S::upA) | ep << 6, captureScore(b, ep - S::upA, ep, quiescence));
        if (S::shift(pawns & ~FILE_H, S::upH) & bit(ep))
            s.add((ep - S::upH) | ep << 6, captureScore(b, ep - S::upH, ep, quiescence));
    }
    t = S::shift(promoting & ~FILE_A, S::upA) & enemy;
    while (t) {
        int to = popHighest(t);
        s.add((to - S::upA) | to << 6 | queenPromo, SCORE_PROMOTION);
    }
    t = S::shift(promoting & ~FILE_H, S::upH) & enemy;
    while (t) {
        int to = popHighest(t);
        s.add((to - S::upH) | to << 6 | queenPromo, SCORE_PROMOTION);
    }
    const U64 queens = b.pieceBB[QUEEN][Us];
    addPieceCaptures<Us>(b, s, b.pieceBB[KNIGHT][Us], quiescence, KNIGHT);
    addPieceCaptures<Us>(b, s, b.pieceBB[KING][Us], quiescence, KING);
    addPieceCaptures<Us>(b, s, b.pieceBB[ROOK][Us] | queens, quiescence, ROOK);
    addPieceCaptures<Us>(b, s, b.pieceBB[BISHOP][Us] | queens, quiescence, BISHOP);
}

// Quiet-move scores from the killer slots and history counters of the side
// to move; without ordering tables every move scores as an unknown one.
struct QuietScorer {
    Move killer0 = 0, killer1 = 0;
    const U64* history = nullptr;

    explicit QuietScorer(const Board& b) {
        if (!orderingTables) return;
        int ci = colourIndex(b.toMove);
        int ply = killerSlot(b.gamePly);
        killer0 = orderingTables->killerMoves[ci][ply][0];
        killer1 = orderingTables->killerMoves[ci][ply][1];
        history = orderingTables->history[ci];
    }
    int operator()(int move) const {
        if (move == killer0) return SCORE_KILLER + 2;
        if (move == killer1) return SCORE_KILLER + 1;
        return SCORE_HISTORY + msb(history ? history[move & 4095] : 0);
    }
};

template <int Us>
void addPieceQuiets(const Board& b, Sink& s, const QuietScorer& score, U64 pieces, int kind) {
    const U64 empty = ~b.occupied;
    while (pieces) {
        int from = popHighest(pieces);
        U64 targets = pieceTargets(kind, b.occupied, from);
        targets &= empty;
        while (targets) {
            int move = from | popHighest(targets) << 6;
            s.add(move, score(move));
        }
    }
}

template <int Us> void addUnderPromotions(Sink& s, U64 targets, int step) {
    while (targets) {
        int to = popHighest(targets);
        int base = (to - step) | to << 6;
        s.add(base | ROOK << 12, 0);
        s.add(base | BISHOP << 12, 0);
        s.add(base | KNIGHT << 12, 0);
    }
}

template <int Us> void quiets(const Board& b, Sink& s) {
    using S = Side<Us>;
    const QuietScorer score(b);
    const U64 pawns = b.pieceBB[PAWN][Us];
    const U64 empty = ~b.occupied;
    const U64 enemy = b.colourBB[Us ^ 1];
    const U64 promoting = pawns & S::promotionRank;

    U64 t = S::shift(pawns & ~S::promotionRank, S::up) & empty;
    while (t) {
        int to = popHighest(t);
        int move = (to - S::up) | to << 6;
        s.add(move, score(move));
    }
    t = S::shift(S::shift(pawns & S::startRank, S::up) & empty, S::up) & empty;
    while (t) {
        int to = popHighest(t);
        int move = (to - 2 * S::up) | to << 6 | DOUBLE_PUSH_FLAG;
        s.add(move, score(move));
    }
    addUnderPromotions<Us>(s, S::shift(promoting, S::up) & empty, S::up);
    addUnderPromotions<Us>(s, S::shift(promoting & ~FILE_A, S::upA) & enemy, S::upA);
    addUnderPromotions<Us>(s, S::shift(promoting & ~FILE_H, S::upH) & enemy, S::upH);

    const U64 queens = b.pieceBB[QUEEN][Us];
    addPieceQuiets<Us>(b, s, score, b.pieceBB[KNIGHT][Us], KNIGHT);
    addPieceQuiets<Us>(b, s, score, b.pieceBB[KING][Us], KING);
    addPieceQuiets<Us>(b, s, score, b.pieceBB[ROOK][Us] | queens, ROOK);
    addPieceQuiets<Us>(b, s, score, b.pieceBB[BISHOP][Us] | queens, BISHOP);

    // Castling needs only the right and empty squares here; check and attacked
    // squares are tested after the move by leavesKingAttacked.
    const int kingRight = Us == 0 ? CASTLE_WK : CASTLE_BK;
    const int queenRight = Us == 0 ? CASTLE_WQ : CASTLE_BQ;
    const int home = Us == 0 ? E1 : E8;
    if ((b.castle & kingRight) && !(b.occupied & (bit(home - 1) | bit(home - 2)))) {
        int move = home | (home - 2) << 6;
        s.add(move, score(move));
    }
    if ((b.castle & queenRight) &&
        !(b.occupied & (bit(home + 1) | bit(home + 2) | bit(home + 3)))) {
        int move = home | (home + 2) << 6;
        s.add(move, score(move));
    }
}

int finish(MoveList& list, int n) {
    list.moves[n] = NO_MOVE;
    list.scores[n] = 0;
    sortMoves(list, n);
    return n;
}

} // namespace

void sortMoves(MoveList& list, int n) {
    if (n > MOVELIST_CAPACITY) n = MOVELIST_CAPACITY;
    int gap = n;
    bool exchanged;
    do {
        gap = (gap + 1) / 2;
        exchanged = false;
        for (int i = 0; i + gap < n; ++i) {
            if (list.scores[i + gap] > list.scores[i]) {
                Move m = list.moves[i];
                list.moves[i] = list.moves[i + gap];
                list.moves[i + gap] = m;
                std::int16_t sc = list.scores[i];
                list.scores[i] = list.scores[i + gap];
                list.scores[i + gap] = sc;
                exchanged = true;
            }
        }
    } while (gap > 1 || exchanged);
}

int generateCaptures(const Board& board, MoveList& list) {
    Sink s{list};
    if (board.toMove == WHITE)
        captures<0>(board, s, false);
    else
        captures<1>(board, s, false);
    return finish(list, s.n);
}

int generateQuiescence(const Board& board, MoveList& list) {
    Sink s{list};
    if (board.toMove == WHITE)
        captures<0>(board, s, true);
    else
        captures<1>(board, s, true);
    // Sorting the terminator (score 0) along puts it in front of the losing
    // captures (score -1), which are thereby cut off.
    list.moves[s.n] = NO_MOVE;
    list.scores[s.n] = 0;
    sortMoves(list, s.n + 1);
    int n = 0;
    while (list.moves[n] != NO_MOVE) ++n;
    return n;
}

int generateQuiet(const Board& board, MoveList& list) {
    Sink s{list};
    if (board.toMove == WHITE)
        quiets<0>(board, s);
    else
        quiets<1>(board, s);
    return finish(list, s.n);
}

int generateLegal(const Board& board, Move* out) {
    MoveList lists[2];
    int counts[2] = {generateCaptures(board, lists[0]), generateQuiet(board, lists[1])};
    int n = 0;
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < counts[k] && n < MAX_MOVES; ++i) {
            Move m = lists[k].moves[i];
            Board child = board;
            makeMove(child, m);
            if (!leavesKingAttacked(child, m)) out[n++] = m;
        }
    }
    out[n] = NO_MOVE;
    return n;
}

bool isLegalMove(const Board& board, Move move) {
    if (move == NO_MOVE) return false;
    Move legal[MOVELIST_CAPACITY];
    int n = generateLegal(board, legal);
    for (int i = 0; i < n; ++i) {
        if (legal[i] == move) return true;
    }
    return false;
}

int generateOrdered(const Board& board, MoveList& list) {
    MoveList quiet;
    int n = generateCaptures(board, list);
    int nq = generateQuiet(board, quiet);
    for (int i = 0; i < nq && n < MAX_MOVES; ++i) list.moves[n++] = quiet.moves[i];
    for (int i = 0; i < n; ++i) list.scores[i] = static_cast<std::int16_t>(200 - i);
    list.moves[n] = NO_MOVE;
    list.scores[n] = 0;
    return n;
}
