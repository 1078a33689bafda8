// Shared set-up for the evaluation tests: tables built once, positions from
// FEN, evaluations from a fresh state, and the colour-flipped mirror of a FEN.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "eval/params.h"
#include "eval/trace.h"

namespace evaltest {

// Builds the board tables once and registers the evaluation without a hash.
void initTables();
Board boardFrom(const std::string& fen);
// evaluate() over the full window with no estimate carried over and no hash.
int freshEval(Board board);
eval::EvalTrace traceOf(const std::string& fen);
// The same position with ranks turned over and colours swapped.
std::string mirrorFen(const std::string& fen);
// Random legal games from each position (seeded), keeping every position on
// the way as FEN.
std::vector<std::string> randomPlay(const std::vector<std::string>& starts, int plies,
                                    unsigned seed);

// Every test starts and ends with default weights and no evaluation hash.
class EvalTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

} // namespace evaltest
