// Helpers shared by the notation, game-end, consistency, robustness and
// stockfish tests: table set-up, boards from FEN, random legal play, perft.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/ordering.h"
#include "board/tables.h"

namespace playsupport {

// Builds the process's tables once; killers and history stay empty.
inline void initTablesOnce() {
    static bool done = false;
    if (done) return;
    static OrderingTables ordering{};
    static Board start;
    initBoardTables(&ordering, start);
    done = true;
}

inline Board boardFromFen(const char* fen) {
    initTablesOnce();
    Board b;
    setFromFen(b, fen);
    return b;
}

inline std::vector<Move> legalMoves(const Board& b) {
    Move list[MOVELIST_CAPACITY];
    int n = generateLegal(b, list);
    return std::vector<Move>(list, list + n);
}

inline Board after(const Board& b, unsigned move) {
    Board child = b;
    makeMove(child, move);
    return child;
}

// A uniformly chosen legal move, or 0 when there is none.
inline Move randomLegalMove(const Board& b, std::mt19937& rng) {
    Move list[MOVELIST_CAPACITY];
    const int n = generateLegal(b, list);
    return n == 0 ? NO_MOVE : list[rng() % static_cast<unsigned>(n)];
}

// Leaves of the legal move tree of the given depth (depth >= 1).
inline long long perft(const Board& b, int depth) {
    Move list[MOVELIST_CAPACITY];
    int n = generateLegal(b, list);
    if (depth == 1) return n;
    long long nodes = 0;
    for (int i = 0; i < n; ++i) nodes += perft(after(b, list[i]), depth - 1);
    return nodes;
}

// The FEN part (before the first ";") of every line of the perft suite.
inline std::vector<std::string> perftSuiteFens() {
    std::vector<std::string> fens;
    std::ifstream in(std::string(TARVOK_DATA_DIR) + "/perftsuite.epd");
    std::string line;
    while (std::getline(in, line)) {
        std::string fen = line.substr(0, line.find(';'));
        while (!fen.empty() && (fen.back() == ' ' || fen.back() == '\r')) fen.pop_back();
        if (!fen.empty()) fens.push_back(fen);
    }
    return fens;
}

inline std::string fenOf(const Board& b) {
    char buf[FEN_BUFFER_SIZE];
    writeFen(b, buf);
    return buf;
}

// Runs f with standard output captured and returns what it printed.
template <class F> std::string stdoutOf(F&& f) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

} // namespace playsupport
