// Every evaluation term on hand-built positions that make it fire. Each row
// pins the whole evaluation with the default weights and with every tuned
// weight distinct, so a zero default or two weights swapped still move a row.
// The rows were kept from a larger table for the sampled faults of the terms'
// code (a flipped comparison, a constant off by one, a sign) they catch.
#include "eval_support.h"

namespace {

struct Row {
    const char* fen;
    int withDefaults;
    int withDistinctWeights;
};

const Row ROWS[] = {
    {"r3k3/8/8/2p1p3/4P3/3P4/8/RN2KN2 w - - 0 1", 608, 420},
    {"7k/8/4p3/1p1P4/2P5/8/8/7K w - - 0 1", 55, -4314},
    {"b6k/8/4p3/1p1P4/2P5/8/8/7K w - - 0 1", -299, 307},
    {"q6k/8/4p3/1p1P4/2P5/8/8/7K w - - 0 1", -942, -1043},
    {"7k/8/8/1p2p3/3P4/2P5/8/7K w - - 0 1", 24, -2186},
    {"8/P7/8/8/8/8/8/K5k1 w - - 0 1", 411, 3121},
    {"n7/P7/8/8/8/8/8/K5k1 w - - 0 1", 113, 2845},
    {"8/8/8/4P3/k7/8/8/7K w - - 0 1", 314, 3176},
    {"8/8/8/4P3/k7/4P3/8/7K w - - 0 1", 402, 3345},
    {"knb3nr/pp4pp/8/8/3P4/8/8/RN1QKB1R w - - 0 1", 989, 718},
    {"r2qk2r/pp5p/8/4N3/3P4/8/8/R2QK2R w - - 0 1", 364, 11},
    {"r2qk2r/pp3p1p/8/4N3/3P4/8/8/R2QK2R w - - 0 1", 288, -150},
    {"r2qk2r/pp3p1p/5n2/4N3/3P4/8/8/R2QK2R w - - 0 1", -27, -471},
    {"r2qk2r/pp1p3p/8/4N3/3P4/8/8/R2QK2R w - - 0 1", 277, -129},
    {"rb1qk2r/pp5p/8/4N3/3P4/8/8/R2QK2R w - - 0 1", 24, -266},
    {"rb1qk2r/pp5p/8/4N3/3P1P2/8/8/R2QK2R w - - 0 1", 127, -103},
    {"r2qk2r/pp1p3p/8/8/4N3/3P4/8/R2QK2R w - - 0 1", 223, -140},
    {"r2qk2r/pp1p3p/8/8/2P1N3/3P4/8/R2QK2R w - - 0 1", 341, -41},
    {"r2qk2r/p6p/8/8/N7/1P6/8/R2QK2R w - - 0 1", 331, 68},
    {"r2qk2r/pp5p/8/8/N7/1P6/8/R2QK2R w - - 0 1", 219, 26},
    {"7k/8/8/8/3R4/3P4/8/3RK3 w - - 0 1", 1171, -224},
    {"7k/3R4/8/8/8/8/8/4K3 w - - 0 1", 538, 463},
    {"8/3R3k/8/8/8/8/8/4K3 w - - 0 1", 510, 482},
    {"8/3R2pk/8/8/8/8/8/4K3 w - - 0 1", 463, 325},
    {"7k/2RR4/8/8/8/8/8/4K3 w - - 0 1", 1066, 871},
    {"7k/R1R1R3/8/8/8/8/8/4K3 w - - 0 1", 1598, 1287},
    {"7k/R1N1R3/8/8/8/8/8/4K3 w - - 0 1", 1443, 1186},
    {"2b1k3/8/8/8/8/8/8/2B1KB2 w - - 0 1", 361, 338},
    {"2b1kb2/8/8/8/8/8/8/2B1K3 w - - 0 1", -355, -338},
    {"2b1kb2/8/8/8/8/8/8/1BB1KB2 w - - 0 1", 282, 300},
    {"4k3/8/8/2p1p3/2P1P3/3B4/8/4K3 w - - 0 1", 349, 280},
    {"4k3/8/8/8/8/3B4/3P4/4K3 w - - 0 1", 427, 418},
    {"4k3/8/8/8/2p5/2PB4/8/4K3 w - - 0 1", 376, 348},
    {"4k3/8/8/8/8/2Q5/1B6/R3K3 w - - 0 1", 1908, 1640},
    {"4k3/8/8/8/R1R4r/8/8/4K3 w - - 0 1", 512, 445},
    {"rnbqkbnr/pppp1ppp/8/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR w KQkq - 0 1", -21, 457},
    {"r7/8/1k6/6pp/4K3/7P/5P2/8 w - - 0 1", -467, -262},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPP1/RNBQKBNR w KQkq - 0 1", -82, -132},
    {"rnbqkbnr/pppppppp/8/8/8/5N2/PPPPBPPP/RNBQ1RK1 w kq - 0 1", -24, 503},
    {"r1bqbrk1/pppppppp/2n5/8/8/2N5/PPPPPPPP/2KRQBNR w - - 0 1", -38, 21},
    {"rnbq1bnr/ppppkppp/8/8/8/8/PPPPPPPP/1KRQ1BNR w - - 0 1", -486, 118},
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1KNR w - - 0 1", -357, -270},
    {"rnbqkbnr/pppppppp/8/8/8/8/1PPPPPPP/R1BQKB1R w KQkq - 0 1", -684, -626},
    {"rnbqkbnr/pppppppp/8/8/8/8/2PPPPPP/R1BQKB1R w KQkq - 0 1", -765, -815},
    {"rnbqkbnr/pppppppp/8/8/8/8/P1PPPPPP/2BQKB2 w kq - 0 1", -1706, -1625},
    {"r1bqkb1r/pppppppp/2n2n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq - 0 1", -26, -50},
    {"rnbqkbnr/ppp1pppp/3p4/8/8/3BN3/PPPPPPPP/RNBQK2R w KQkq - 0 1", 22, 475},
    {"rnb1kb1r/pppppppp/8/8/8/8/PPPPPPPP/R2QK2R w KQkq - 0 1", -30, -18},
    {"rnb1kb1r/pppppppp/8/8/8/8/PPPPPPPP/R2QKR1R w - - 0 1", 515, 480},
    {"rnbqkb1r/pppppppp/8/8/8/8/PPPPPPPP/R1BQKB1R w - - 0 1", -314, -283},
    {"rnbqkb1r/8/8/8/8/8/PPPPPPPP/R1BQKB1R w - - 0 1", 333, 1118},
    {"rnbqkbn1/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1", 453, 482},
    {"rnbqkbnr/pppppppp/8/8/8/7P/PPPPPPP1/RNBQ1RK1 w kq - 0 1", -618, -413},
    {"8/p5k1/8/8/8/8/6PP/4N1K1 w - - 0 1", 400, 362},
    {"8/p5k1/8/8/8/1r6/6PP/4N1K1 w - - 0 1", -288, 895},
    {"4k3/8/8/8/8/8/P7/RK6 w - - 0 1", 536, 651},
    {"2r4k/8/8/8/8/8/PP6/K7 w - - 0 1", -306, -102},
};

using Terms = EvalTest;

TEST_F(Terms, EveryPositionWithDefaultAndDistinctWeights) {
    for (const Row& row : ROWS) {
        eval::resetEvaluationParameters();
        EXPECT_EQ(freshEval(boardFrom(row.fen)), row.withDefaults) << row.fen;
        for (size_t i = 0; i < eval::TUNED_PARAMETER_COUNT; ++i)
            *eval::tunedParameters[i].value = int(i % 13) * 7 - 40;
        EXPECT_EQ(freshEval(boardFrom(row.fen)), row.withDistinctWeights) << row.fen;
    }
}

} // namespace
