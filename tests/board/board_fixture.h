// Helpers of the board tests: tables built once, boards from FEN, moves from
// coordinate text without the notation layer, random legal play, the perft
// suite's positions and captured output.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"

inline void ensureBoardTables() {
    static const bool built = [] {
        Board b;
        initBoardTables(nullptr, b);
        return true;
    }();
    (void)built;
}

inline Board boardFrom(const std::string& fen) {
    ensureBoardTables();
    Board b;
    setFromFen(b, fen.c_str());
    return b;
}

inline int squareAt(const char* text) {
    return squareOf(text[0] - 'a', text[1] - '1');
}

// "e2e4", "e7e8q": from, to and promotion only (no double-push flag).
inline Move plainMove(const char* text) {
    const char* promo = text[4] != 0 ? std::strchr(" nbrq", text[4]) : nullptr;
    return makeMoveCode(squareAt(text), squareAt(text + 2),
                        promo != nullptr ? static_cast<int>(promo - " nbrq") : 0);
}

inline std::vector<Move> legalMoves(const Board& b) {
    Move list[MOVELIST_CAPACITY];
    int n = generateLegal(b, list);
    return std::vector<Move>(list, list + n);
}

// The legal move of the position that the text names (flags included), or 0.
inline Move legalMove(const Board& b, const char* text) {
    for (Move m : legalMoves(b))
        if ((m & 0x7FFF) == plainMove(text)) return m;
    return NO_MOVE;
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

inline std::string moveString(Move m) {
    std::string s{fileChar(moveFrom(m)), rankChar(moveFrom(m)), fileChar(moveTo(m)),
                  rankChar(moveTo(m))};
    if (movePromo(m)) s += " nbrq"[movePromo(m)];
    return s;
}

inline std::string fenOf(const Board& b) {
    char buf[FEN_BUFFER_SIZE];
    writeFen(b, buf);
    return buf;
}

// The FEN part (before the first ";") of every line of the perft suite.
inline std::vector<std::string> perftSuiteFens() {
    std::vector<std::string> fens;
    std::ifstream in(std::string(TARVOK_DATA_DIR) + "/perftsuite.epd");
    for (std::string line; std::getline(in, line);) {
        std::string fen = line.substr(0, line.find(';'));
        while (!fen.empty() && (fen.back() == ' ' || fen.back() == '\r')) fen.pop_back();
        if (!fen.empty()) fens.push_back(fen);
    }
    return fens;
}

// Runs f with standard output captured and returns what it printed.
template <class F> std::string stdoutOf(F&& f) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
