// The weights in one place: the tuner's ordered list and resetting to defaults.
#include <set>
#include <string>

#include "eval_support.h"

namespace {

using namespace evaltest;

TEST(TunedParameters, OrderAndDefaults) {
    eval::resetEvaluationParameters();
    const int defaults[eval::TUNED_PARAMETER_COUNT] = {
        0,  -2, -12, -44, 40, 71, 2,  -3, -2, -27, -8, -1, -17, 6,  6,  6,   56,  -8, -56, -11,
        16, 5,  6,   23,  4,  24, 17, 12, 8,  -4,  9,  8,  40,  21, -7, -13, -23, 5,  3,   9,
        11, 9,  28,  -5,  15, -4, 48, -6, 14, 9,   11, 8,  -29, 2,  1,  3,   6,   9,  8,   3,
        7,  10, 7,   2,   0,  7,  1,  4,  3,  1,   3,  1,  1,   1,  0,  22,  9,   1,  1,   0};
    std::set<const int*> pointers;
    std::set<std::string> names;
    for (size_t i = 0; i < eval::TUNED_PARAMETER_COUNT; ++i) {
        const eval::TunedParameter& p = eval::tunedParameters[i];
        ASSERT_NE(p.value, nullptr);
        EXPECT_EQ(*p.value, defaults[i]) << i + 1 << " " << p.name;
        pointers.insert(p.value);
        names.insert(p.name);
    }
    EXPECT_EQ(pointers.size(), eval::TUNED_PARAMETER_COUNT);
    EXPECT_EQ(names.size(), eval::TUNED_PARAMETER_COUNT);
    // Positions the evaluation names explicitly.
    EXPECT_EQ(eval::tunedParameters[29].value, &eval::weights.knightEndgame);
    EXPECT_EQ(eval::tunedParameters[39].value, &eval::weights.rookDoubled);
    EXPECT_EQ(eval::tunedParameters[41].value, &eval::weights.rookHalfOpenFile);
    EXPECT_EQ(eval::tunedParameters[52].value, &eval::weights.MAX_TROPISM_PENALTY);
    EXPECT_EQ(eval::tunedParameters[56].value, &eval::weights.queenSafeCheck);
    EXPECT_EQ(eval::tunedParameters[60].value, &eval::weights.knightTropism[1]);
    EXPECT_EQ(eval::tunedParameters[79].value, &eval::weights.queenTropism[5]);
}

class Parameters : public EvalTest {};

TEST_F(Parameters, ATunedWeightChangesTheEvaluationAndResetRestoresIt) {
    const Board board = boardFrom("rnbqkbnr/ppp1pppp/3p4/8/8/3BN3/PPPPPPPP/RNBQK2R w KQkq - 0 1");
    const int before = freshEval(board);
    *eval::tunedParameters[2].value = -100; // weights.blockedCentrePawn: two white pawns blocked
    EXPECT_EQ(freshEval(board), before + 2 * (-100 + 12));
    eval::weights.kingDangerTable[0] = 77;
    eval::weights.queenTropism[0] = 5;
    eval::resetEvaluationParameters();
    EXPECT_EQ(eval::weights.blockedCentrePawn, -12);
    EXPECT_EQ(eval::weights.kingDangerTable[0], 0);
    EXPECT_EQ(eval::weights.queenTropism[0], 0);
    EXPECT_EQ(eval::weights.lazyMargin, 175);
    EXPECT_EQ(freshEval(board), before);
}

} // namespace
