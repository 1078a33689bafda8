#include "search/quiescence.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/search_context.h"

int quiescence(SearchContext& ctx, unsigned /*move*/, Board& board, int alpha, int beta) {
    ctx.quiescenceNodes =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(ctx.quiescenceNodes) + 1);

    int stand = evaluate(board, alpha, beta);
    if (stand >= beta) return beta;
    if (stand > alpha) alpha = stand;

    MoveList list;
    generateQuiescence(board, list);
    Board child;
    for (int i = 0; list.moves[i] != NO_MOVE; ++i) {
        Move mv = list.moves[i];
        child = board;
        makeMove(child, mv);
        if (leavesKingAttacked(child, mv)) continue;
        int v = -quiescence(ctx, mv, child, -beta, -alpha);
        if (v >= beta) return beta;
        if (v > alpha) alpha = v;
    }
    return alpha;
}
