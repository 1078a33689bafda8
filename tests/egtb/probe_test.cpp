// The probe: which table and side a position reaches, what the index
// function is given, how stored bytes become scores, and the search's switch.
#include <gtest/gtest.h>

#include "board/tables.h"
#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb_support.h"
#include "search/standalone.h"

namespace {

constexpr int KQK = 5, KRKR = 15, KPPKP = 36, KPPPK = 111, KNNKNN = 146;

Board position(const char* fen) {
    static bool tables = [] {
        Board b;
        initBoardTables(nullptr, b);
        return true;
    }();
    (void)tables;
    Board b;
    setFromFen(b, fen);
    return b;
}

// "probe S" or "probe none", as tarvok-dev prints it.
std::string probe(const char* fen) {
    int score = 0;
    return probeEgtb(position(fen), score) ? "probe " + std::to_string(score) : "probe none";
}

TEST(EgtbProbe, PiecesReachTheTableAndSideOfTheirColours) {
    RegistryScope scope({KPPPK});
    TableDir dir;
    dir.write("kpppk.nbw", Bytes(100, 5));
    initEgtb(dir.path().c_str(), 1, true);
    nextIndex = 7;
    // Three white pawns, White to move: +111, side 0, White's set first.
    EXPECT_EQ(probe("4k3/8/8/8/8/2PPP3/8/4K3 w - - 0 1"), "probe 15756");
    EXPECT_EQ(lastIndexCall.calls, 1);
    const int pawns[3] = {21, 20, 19}; // c3 d3 e3, highest square first
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lastIndexCall.first.squares[0][i], pawns[i]);
    EXPECT_EQ(lastIndexCall.first.king, 3);   // e1
    EXPECT_EQ(lastIndexCall.second.king, 59); // e8
    EXPECT_EQ(lastIndexCall.invert, 0);
    EXPECT_EQ(lastIndexCall.ep, 127);
    // Three black pawns with Black to move: -111, the same file, colours
    // exchanged and the inversion flag set.
    EXPECT_EQ(probe("4k3/8/2ppp3/8/8/8/8/4K3 b - - 0 1"), "probe 15756");
    EXPECT_EQ(lastIndexCall.first.squares[0][0], 45); // c6
    EXPECT_EQ(lastIndexCall.first.squares[0][2], 43); // e6
    EXPECT_EQ(lastIndexCall.first.king, 59);
    EXPECT_EQ(lastIndexCall.second.king, 3);
    EXPECT_EQ(lastIndexCall.invert, 1);
    // The other sides to move need the Black-to-move file, which is missing.
    EXPECT_EQ(probe("4k3/8/8/8/8/2PPP3/8/4K3 b - - 0 1"), "probe none");
    EXPECT_EQ(probe("4k3/8/2ppp3/8/8/8/8/4K3 w - - 0 1"), "probe none");
    EXPECT_EQ(lastIndexCall.calls, 2);
    // Past the table's length: no information.
    nextIndex = 100;
    EXPECT_EQ(probe("4k3/8/8/8/8/2PPP3/8/4K3 w - - 0 1"), "probe none");
}

TEST(EgtbProbe, PieceCountsBeyondTheTablesAreNotProbed) {
    RegistryScope scope({KPPKP, KNNKNN});
    TableDir dir;
    dir.sparse("kppkp.nbw", 84219361);
    initEgtb(dir.path().c_str(), 1, true);
    ASSERT_EQ(egtbMaxPieces, 5);
    EXPECT_EQ(probe("4k3/8/8/3p4/8/2PP4/8/4K3 w - - 0 1"), "probe -1");
    EXPECT_EQ(probe("4k3/8/8/3pp3/8/2PP4/8/4K3 w - - 0 1"), "probe none"); // six pieces
    dir.write("knnknn.nbw", Bytes(10, 0));
    initEgtb(dir.path().c_str(), 1, true);
    ASSERT_EQ(egtbMaxPieces, 6);
    EXPECT_EQ(probe("4k3/8/8/8/8/1PPPP3/8/4K3 w - - 0 1"), "probe none"); // four pawns
    EXPECT_EQ(probe("4k3/8/8/8/8/8/8/NN1K1nn1 w - - 0 1"), "probe -1");
    EXPECT_EQ(lastIndexCall.calls, 2);
    // The en-passant square goes to the index function.
    EXPECT_EQ(probe("4k3/8/8/3pP3/8/P7/8/4K3 w - d6 0 1"), "probe -1");
    EXPECT_EQ(lastIndexCall.ep, 44);
}

TEST(EgtbProbe, ASymmetricTableServesBothSidesFromOneFile) {
    RegistryScope scope({KRKR});
    TableDir dir;
    dir.write("krkr.nbw", Bytes{0, 3, static_cast<std::uint8_t>(-3)});
    initEgtb(dir.path().c_str(), 1, true);
    nextIndex = 1;
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 w - - 0 1"), "probe 15752");
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1"), "probe 15752");
    nextIndex = 0; // a draw: -1 with White to move, +1 with Black
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 w - - 0 1"), "probe -1");
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1"), "probe 1");
    nextIndex = 2;
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1"), "probe -15754");
}

TEST(EgtbProbe, EveryByteClassToItsValueAndScore) {
    RegistryScope scope({KQK});
    TableDir dir;
    const std::vector<std::tuple<int, int, const char*>> classes = {
        {0, 0, "probe -1"},
        {1, 32641, "probe 15748"},
        {126, 32766, "probe 15998"},
        {127, VALUE_BROKEN, "probe none"},
        {-1, -32641, "probe -15750"},
        {-126, -32766, "probe -16000"},
        {-127, -32640, "probe -15748"},
        {-128, 32640, "probe 15746"},
    };
    Bytes file;
    for (const auto& c : classes) file.push_back(static_cast<std::uint8_t>(std::get<0>(c)));
    dir.write("kqk.nbw", file);
    initEgtb(dir.path().c_str(), 1, true);
    for (std::size_t i = 0; i < classes.size(); ++i) {
        const auto& [byte, value, line] = classes[i];
        EXPECT_EQ(probeValue(KQK, 0, static_cast<std::uint32_t>(i)), value) << byte;
        nextIndex = static_cast<std::uint32_t>(i);
        EXPECT_EQ(probe("k7/8/8/8/8/8/8/KQ6 w - - 0 1"), line) << byte;
    }
}

TEST(EgtbProbe, FixedKppkpPositionsAreLossesInOneWithoutReading) {
    RegistryScope scope;
    TableDir dir;
    dir.sparse("kppkp.nbw", 84219361);
    dir.sparse("kppkp.nbb", 89391280);
    initEgtb(dir.path().c_str(), 1, true);
    for (std::uint32_t i : {0x0362BC7Cu, 0x0362DE44u, 0x03637648u, 0x03639810u, 0x038D4F29u,
                            0x040A2CABu, 0x043C778Cu}) {
        EXPECT_EQ(probeValue(KPPKP, 1, i), -32639) << i;
        EXPECT_EQ(probeValue(KPPKP, 1, i + 1), 0) << i;
        EXPECT_EQ(probeValue(KPPKP, 0, i), 0) << i;
    }
    EXPECT_EQ(probeValue(KPPKP, 1, 89391280), VALUE_BROKEN);
}

// With every position of kqk a draw, the search scores the queen ending as
// one; with the tablebase switch off it never asks.
TEST(EgtbProbe, TheSearchAsksOnlyWithTheSwitchOn) {
    RegistryScope scope({KQK});
    TableDir dir;
    dir.write("kqk.nbw", Bytes(64, 0));
    dir.write("kqk.nbb", Bytes(64, 0));
    initEgtb(dir.path().c_str(), 1, true);
    StandaloneSearch env;
    env.shared().maxDepth = 3;
    env.shared().postThinking = 0;
    env.setPosition("k7/8/8/8/8/8/3K4/1Q6 w - - 0 1");
    env.shared().useEgtb = 0;
    RootReport off;
    env.search(1 << 30, &off);
    EXPECT_EQ(lastIndexCall.calls, 0);
    EXPECT_GT(off.score, 800);
    env.clearTables();
    env.shared().useEgtb = 1;
    RootReport on;
    env.search(1 << 30, &on);
    EXPECT_GT(lastIndexCall.calls, 0);
    EXPECT_EQ(on.score, -1);
}

} // namespace
