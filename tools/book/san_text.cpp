#include "tools/book/san_text.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"

namespace {

std::string squareText(int sq) {
    return std::string{fileChar(sq), rankChar(sq)};
}

} // namespace

std::string sanText(const Board& board, Move move) {
    const int from = moveFrom(move), to = moveTo(move);
    const int kind = board.squares[from];
    std::string s;
    if (kind == KING && (from - to == 2 || to - from == 2)) {
        s = to < from ? "O-O" : "O-O-O"; // h-side squares have the lower numbers
    } else {
        const bool capture = board.squares[to] != EMPTY || (kind == PAWN && (from & 7) != (to & 7));
        if (kind == PAWN) {
            if (capture) s += fileChar(from);
        } else {
            s += "PNBRQK"[kind];
            Move legal[MOVELIST_CAPACITY];
            const int n = generateLegal(board, legal);
            bool clash = false, sameFile = false, sameRank = false;
            for (int i = 0; i < n; ++i) {
                const Move m = legal[i];
                if (moveTo(m) != to || moveFrom(m) == from || board.squares[moveFrom(m)] != kind)
                    continue;
                clash = true;
                if ((moveFrom(m) & 7) == (from & 7)) sameFile = true;
                if (rankOf(moveFrom(m)) == rankOf(from)) sameRank = true;
            }
            if (clash && !sameFile)
                s += fileChar(from);
            else if (clash && !sameRank)
                s += rankChar(from);
            else if (clash)
                s += squareText(from);
        }
        if (capture) s += 'x';
        s += squareText(to);
        if (movePromo(move)) {
            s += '=';
            s += "PNBRQ"[movePromo(move)];
        }
    }
    Board after = board;
    makeMove(after, move);
    if (inCheck(after)) {
        Move legal[MOVELIST_CAPACITY];
        s += generateLegal(after, legal) == 0 ? '#' : '+';
    }
    return s;
}
