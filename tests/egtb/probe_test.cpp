// The probe: the table and side a position reaches, what the index function
// is given, stored bytes to scores, fixed kppkp values, the search's switch.
#include <gtest/gtest.h>

#include "board/tables.h"
#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb_support.h"
#include "search/standalone.h"

namespace {

constexpr int KQK = 5, KRKR = 15, KPPKP = 36, KPPPK = 111, KNNKNN = 146;

std::string probe(const char* fen, std::uint32_t index) {
    static Board b;
    static bool tables = (initBoardTables(nullptr, b), true);
    (void)tables;
    setFromFen(b, fen);
    nextIndex = index;
    int score = 0;
    return probeEgtb(b, score) ? std::to_string(score) : "none";
}

TEST(EgtbProbe, PiecesReachTheTableAndSideOfTheirColours) {
    RegistryScope scope({KPPPK, KRKR, KPPKP, KNNKNN});
    TableDir dir;
    dir.write("kpppk.nbw", Bytes(100, 5));
    dir.write("krkr.nbw", Bytes{0, 3, static_cast<std::uint8_t>(-3)});
    dir.sparse("kppkp.nbw", 84219361);
    initEgtb(dir.path().c_str(), 1, true);
    ASSERT_EQ(egtbMaxPieces, 5);
    // Three white pawns, White to move: +111, side 0, White's set first,
    // squares from the highest down.
    EXPECT_EQ(probe("4k3/8/8/8/8/2PPP3/8/4K3 w - - 0 1", 7), "15756");
    const IndexCall w = lastIndexCall;
    EXPECT_EQ(w.first.squares[0][0] * 10000 + w.first.squares[0][1] * 100 + w.first.squares[0][2],
              212019);
    EXPECT_EQ(std::vector<int>({w.first.king, w.second.king, w.invert, w.ep}),
              std::vector<int>({3, 59, 0, 127}));
    // Three black pawns, Black to move: -111, colours exchanged, inverted.
    EXPECT_EQ(probe("4k3/8/2ppp3/8/8/8/8/4K3 b - - 0 1", 7), "15756");
    const IndexCall b = lastIndexCall;
    EXPECT_EQ(std::vector<int>({b.first.squares[0][0], b.first.squares[0][2], b.first.king,
                                b.second.king, b.invert}),
              std::vector<int>({45, 43, 59, 3, 1}));
    // The other sides to move need the missing Black-to-move file; past the
    // file's end there is no information either.
    EXPECT_EQ(probe("4k3/8/8/8/8/2PPP3/8/4K3 b - - 0 1", 7), "none");
    EXPECT_EQ(probe("4k3/8/2ppp3/8/8/8/8/4K3 w - - 0 1", 7), "none");
    EXPECT_EQ(lastIndexCall.calls, 2);
    EXPECT_EQ(probe("4k3/8/8/8/8/2PPP3/8/4K3 w - - 0 1", 100), "none");
    // A symmetric table serves both sides from its one file; a draw is -1
    // with White to move and +1 with Black.
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1", 1), "15752");
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1", 2), "-15754");
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 w - - 0 1", 0), "-1");
    EXPECT_EQ(probe("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1", 0), "1");
    // Five pieces with en passant; six pieces are not probed below six.
    EXPECT_EQ(probe("4k3/8/8/3pP3/8/P7/8/4K3 w - d6 0 1", 0), "-1");
    EXPECT_EQ(lastIndexCall.ep, 44);
    EXPECT_EQ(probe("4k3/8/8/3pp3/8/2PP4/8/4K3 w - - 0 1", 0), "none");
    dir.write("knnknn.nbw", Bytes(10, 0));
    initEgtb(dir.path().c_str(), 1, true);
    EXPECT_EQ(probe("4k3/8/8/8/8/8/8/NN1K1nn1 w - - 0 1", 0), "-1");
    EXPECT_EQ(probe("4k3/8/8/8/8/1PPPP3/8/4K3 w - - 0 1", 0), "none"); // four pawns
}

TEST(EgtbProbe, EveryByteClassToItsValueAndScore) {
    RegistryScope scope({KQK});
    TableDir dir;
    const std::tuple<int, int, const char*> classes[] = {{0, 0, "-1"},
                                                         {1, 32641, "15748"},
                                                         {126, 32766, "15998"},
                                                         {127, VALUE_BROKEN, "none"},
                                                         {-1, -32641, "-15750"},
                                                         {-126, -32766, "-16000"},
                                                         {-127, -32640, "-15748"},
                                                         {-128, 32640, "15746"}};
    Bytes file;
    for (const auto& c : classes) file.push_back(static_cast<std::uint8_t>(std::get<0>(c)));
    dir.write("kqk.nbw", file);
    dir.sparse("kppkp.nbw", 84219361);
    dir.sparse("kppkp.nbb", 89391280);
    initEgtb(dir.path().c_str(), 1, true);
    for (std::uint32_t i = 0; i < 8; ++i) {
        const auto& [byte, value, score] = classes[i];
        EXPECT_EQ(probeValue(KQK, 0, i), value) << byte;
        EXPECT_EQ(probe("k7/8/8/8/8/8/8/KQ6 w - - 0 1", i), score) << byte;
    }
    // kppkp's fixed Black-to-move indices answer without reading the file.
    for (std::uint32_t i : {0x0362BC7Cu, 0x0362DE44u, 0x03637648u, 0x03639810u, 0x038D4F29u,
                            0x040A2CABu, 0x043C778Cu}) {
        EXPECT_EQ(probeValue(KPPKP, 1, i), -32639) << i;
        EXPECT_EQ(probeValue(KPPKP, 1, i + 1) + probeValue(KPPKP, 0, i), 0) << i;
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
    RootReport off, on;
    env.shared().useEgtb = 0;
    env.search(1 << 30, &off);
    EXPECT_EQ(lastIndexCall.calls, 0);
    EXPECT_GT(off.score, 800);
    env.clearTables();
    env.shared().useEgtb = 1;
    env.search(1 << 30, &on);
    EXPECT_GT(lastIndexCall.calls, 0);
    EXPECT_EQ(on.score, -1);
}

} // namespace
