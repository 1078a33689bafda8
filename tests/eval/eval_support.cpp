#include "eval_support.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/evaluate.h"

namespace evaltest {

void initTables() {
    static bool done = false;
    if (done) return;
    static OrderingTables ordering;
    static Board start;
    initBoardTables(&ordering, start);
    done = true;
}

Board boardFrom(const std::string& fen) {
    initTables();
    Board board;
    setFromFen(board, fen.c_str());
    return board;
}

int freshEval(Board board) {
    board.positional = 0;
    lastPositional = 0;
    return evaluate(board, -SCORE_INFINITE, SCORE_INFINITE);
}

eval::EvalTrace traceOf(const std::string& fen) {
    Board board = boardFrom(fen);
    board.positional = 0;
    lastPositional = 0;
    eval::EvalTrace trace;
    eval::evaluateTraced(board, -SCORE_INFINITE, SCORE_INFINITE, trace);
    return trace;
}

std::string mirrorFen(const std::string& fen) {
    std::istringstream in(fen);
    std::string placement, side, castle, ep, half = "0", full = "1";
    in >> placement >> side >> castle >> ep >> half >> full;

    std::vector<std::string> ranks;
    std::stringstream ps(placement);
    for (std::string rank; std::getline(ps, rank, '/');) ranks.push_back(rank);
    std::reverse(ranks.begin(), ranks.end());
    std::string out;
    for (size_t i = 0; i < ranks.size(); ++i) {
        if (i) out += '/';
        for (char ch : ranks[i])
            out += std::isupper(static_cast<unsigned char>(ch))
                       ? static_cast<char>(std::tolower(static_cast<unsigned char>(ch)))
                       : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }

    std::string rights;
    for (char want : {'k', 'q', 'K', 'Q'})
        if (castle.find(want) != std::string::npos)
            rights +=
                static_cast<char>(std::isupper(want) ? std::tolower(want) : std::toupper(want));
    if (rights.empty()) rights.push_back('-');
    if (ep.size() == 2) ep[1] = static_cast<char>('1' + ('8' - ep[1]));

    for (const std::string& field :
         {std::string(side == "w" ? "b" : "w"), rights, ep, half, full}) {
        out += ' ';
        out.append(field);
    }
    return out;
}

void EvalTest::SetUp() {
    initTables();
    eval::resetEvaluationParameters();
    initEvaluation(nullptr);
}

void EvalTest::TearDown() {
    eval::resetEvaluationParameters();
    initEvaluation(nullptr);
}

std::vector<std::string> randomPlay(const std::vector<std::string>& starts, int plies,
                                    unsigned seed) {
    std::vector<std::string> out;
    unsigned x = seed;
    for (const std::string& fen : starts) {
        Board board = boardFrom(fen);
        for (int ply = 0; ply < plies; ++ply) {
            Move moves[MOVELIST_CAPACITY];
            const int n = generateLegal(board, moves);
            if (n == 0) break;
            x = x * 1103515245u + 12345u;
            makeMove(board, moves[(x >> 8) % n]);
            char buf[FEN_BUFFER_SIZE];
            writeFen(board, buf);
            out.emplace_back(buf);
        }
    }
    return out;
}

} // namespace evaltest
