// Helpers of the board tests: tables built once, boards from FEN, move text,
// the perft suite and captured output.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/tables.h"

inline Board boardFrom(const std::string& fen) {
    static Board b;
    [[maybe_unused]] static const bool built = (initBoardTables(nullptr, b), true);
    setFromFen(b, fen.c_str());
    return b;
}

inline std::vector<Move> legalMoves(const Board& b) {
    Move list[MOVELIST_CAPACITY];
    return std::vector<Move>(list, list + generateLegal(b, list));
}

inline std::string moveText(unsigned m, bool lower = false) {
    char buf[MOVE_TEXT_SIZE];
    return formatMove(m, buf, lower);
}

inline std::string fenOf(const Board& b) {
    char buf[FEN_BUFFER_SIZE];
    writeFen(b, buf);
    return buf;
}

// Lines of tests/data/perftsuite.epd: "FEN ;D1 20 ;D2 400 ...".
struct PerftEntry {
    std::string fen;
    std::vector<U64> counts; // counts[d - 1] = perft(d)
};
inline const std::vector<PerftEntry>& perftSuite() {
    static const std::vector<PerftEntry> suite = [] {
        std::vector<PerftEntry> out;
        std::ifstream in(std::string(TARVOK_DATA_DIR) + "/perftsuite.epd");
        for (std::string line, tag; std::getline(in, line);) {
            const std::size_t semi = line.find(" ;");
            std::istringstream fields(line.substr(semi + 1));
            out.push_back({line.substr(0, semi), {}});
            for (U64 n; fields >> tag >> n;) out.back().counts.push_back(n);
        }
        return out;
    }();
    return suite;
}

// Runs f with standard output captured and returns what it printed.
template <class F> std::string stdoutOf(F&& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}
