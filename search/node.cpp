#include "search/node.h"

#include <algorithm>
#include <bit>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/repetition.h"
#include "search/egtb_hook.h"
#include "search/movepick.h"
#include "search/quiescence.h"
#include "search/search_context.h"
#include "search/split_hook.h"

namespace {

// A table move is only tried when it could be a move of this position at all:
// a piece of the side to move on its from-square and no own piece on its
// to-square. Anything else can only come from a key collision, and making it
// would corrupt the copy.
bool plausibleMove(const Board& b, unsigned m) {
    int from = moveFrom(m), to = moveTo(m);
    if (from == to || b.squares[from] == EMPTY) return false;
    int own = b.toMove == WHITE ? 0 : 1;
    U64 ownBB = b.colourBB[own];
    return ((ownBB >> from) & 1) != 0 && ((ownBB >> to) & 1) == 0;
}

} // namespace

int searchNode(SearchContext& ctx, unsigned m, Board& B, int d, int a, int b, int s) {
    if (d <= 0) return quiescence(ctx, m, B, a, b);

    SharedState& sh = *ctx.pShared;
    if (sh.timer1.timeIsUp()) return SCORE_TIMEOUT;
    if (sharedLoad(sh.allSearchprocesEnabled) == 0) return SCORE_TIMEOUT;
    if (s != 0 && sharedLoad(sh.splitBlocks[s].stopFlag) != 0) return SCORE_SPLIT_ABORT;

    ctx.nodes = static_cast<std::int32_t>(static_cast<std::uint32_t>(ctx.nodes) + 1);

    if (repetitionRing.isRepetition(B.gamePly, B.halfmoveClock)) return B.toMove * DRAW_SCORE;

    TranspositionTable& tt = ctx.tt;
    int t = tt.probe(B.boardkey, d, a, b);
    if (t != TT_NO_CUTOFF) return t;

    if (sh.useEgtb != 0 && std::popcount(B.occupied) <= 5) {
        int score;
        if (probeTablebases(ctx, B, score)) return score;
    }

    const bool inCheckNow = inCheck(B);
    const int nodeAlpha = static_cast<std::int16_t>(a);

    Board K;
    if (B.nullMoveCount <= 1 && !inCheckNow && hasPieces(B) && sh.useNullMove != 0) {
        K = B;
        makeMove(K, NULL_MOVE);
        int v = -searchNode(ctx, NULL_MOVE, K, d - 1 - NULL_MOVE_REDUCTION, -b, -b + 1, s);
        // An interrupted null-move search proves nothing: pass the sentinel
        // up rather than taking it for a fail-high.
        if (v == -SCORE_SPLIT_ABORT || v == -SCORE_TIMEOUT) return -v;
        if (v >= b) return b;
    }

    MovePicker picker;
    picker.init(B);

    Move h = tt.bestMove(B.boardkey);
    if (h == NO_MOVE && d > 3) {
        searchNode(ctx, m, B, d - 3, a, b, s);
        h = tt.bestMove(B.boardkey);
    }
    if (h != NO_MOVE && !plausibleMove(B, h)) h = NO_MOVE;

    Move mv = h != NO_MOVE ? h : picker.next();
    if (mv == NO_MOVE) return inCheckNow ? -SCORE_MATE : B.toMove * DRAW_SCORE;

    OrderingTables& ordering = sh.ordering;
    int movesSearched = 0;
    Move best = NO_MOVE;
    int boundType = TT_UPPER;

    for (;;) {
        K = B;
        makeMove(K, mv);
        if (!leavesKingAttacked(K, mv)) {
            const bool givesCheck = inCheck(K);
            int e = 0;
            if (sh.useExtensions != 0) {
                if (givesCheck || moveTo(mv) == B.recaptureSq) e = 1;
            }

            bool futile = false;
            if (sh.useFutility != 0 && !givesCheck && d <= 2) {
                int material = B.toMove * K.lazy;
                int margin = d == 1 ? FUTILITY_MARGIN_1 : FUTILITY_MARGIN_2;
                futile = material + margin < a;
            }

            int v;
            if (futile) {
                v = a;
            } else if (movesSearched == 0) {
                v = -searchNode(ctx, mv, K, d - 1 + e, -b, -a, s);
            } else {
                if (sh.useLateMoveReduction != 0 && d > 1 && !givesCheck && !inCheckNow &&
                    B.squares[moveTo(mv)] == EMPTY &&
                    killerTest(ordering, mv, B.gamePly, B.toMove) == 0)
                    e = -1;
                v = -searchNode(ctx, mv, K, d - 1 + e, -a - 1, -a, s);
                if (e == -1 && v > a) v = -searchNode(ctx, mv, K, d - 1, -a - 1, -a, s);
                if (a < v && v < b) v = -searchNode(ctx, mv, K, d - 1 + std::max(e, 0), -b, -a, s);
            }

            if (v == -SCORE_SPLIT_ABORT || v == -SCORE_TIMEOUT) return -v;
            if (v == SCORE_MATE) {
                // The move is worth remembering; the bound itself never cuts.
                tt.store(B.boardkey, d, B.rootPly, -SCORE_MATE, TT_LOWER, mv);
                return SCORE_MATE;
            }
            if (v >= b) {
                tt.store(B.boardkey, d, B.rootPly, v, TT_LOWER, mv);
                updateHistoryAndKillers(ordering, mv, v, B.gamePly, B.toMove,
                                        B.squares[moveTo(mv)]);
                return b;
            }
            if (best == NO_MOVE) best = NO_BEST_MOVE_MARK;
            if (v > a) {
                updateHistoryAndKillers(ordering, mv, v, B.gamePly, B.toMove,
                                        B.squares[moveTo(mv)]);
                best = mv;
                a = v;
                boundType = TT_EXACT;
            }
            ++movesSearched;
        }

        // The 0 ms test of the slave-available event comes before any lock:
        // most nodes find nobody idle and go on at once.
        if (movesSearched > 0 && d > 4 && ctx.processNumber >= 0 && sh.numProcesses > 1 &&
            ctx.slaveAvailable.wait(0) == platform::WaitResult::Acquired) {
            SplitRequest request{m, &B, d, a, b, nodeAlpha, boundType, best, &picker};
            int result;
            if (trySplit(ctx, request, result)) return result;
        }

        mv = picker.next();
        if (mv == NO_MOVE) break;
    }

    if (best == NO_MOVE) return inCheckNow ? -SCORE_MATE : B.toMove * DRAW_SCORE;
    tt.store(B.boardkey, d, B.rootPly, static_cast<std::int16_t>(a), boundType,
             best == NO_BEST_MOVE_MARK ? NO_MOVE : best);
    return a;
}
