// The probe: from a position to a table side, an index and a score.
#include <gtest/gtest.h>

#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb_support.h"
#include "search/standalone.h"

namespace {

constexpr int KQK = 5, KRKR = 15, KPPKP = 36, KPPPK = 111, KNNKNN = 146;

// An index function that returns nextIndex and keeps what it was given.
int calls = 0;
std::uint32_t nextIndex = 0;
std::string given;
std::uint32_t recording(const PieceSet& f, const PieceSet& s, int ep, int invert) {
    char text[96];
    std::snprintf(text, sizeof text, "k%d p%d,%d,%d / k%d p%d,%d,%d ep%d inv%d", f.king,
                  f.squares[0][0], f.squares[0][1], f.squares[0][2], s.king, s.squares[0][0],
                  s.squares[0][1], s.squares[0][2], ep, invert);
    given = text;
    ++calls;
    return nextIndex;
}
std::string probeAt(const char* fen, std::uint32_t index) {
    nextIndex = index;
    return probe(fen);
}

TEST(EgtbProbe, PiecesReachTheirTableSideBytesTheirScoresAndTheSearchAsksWhenOn) {
    RegistryScope scope;
    for (int id : {KQK, KPPPK, KRKR, KPPKP, KNNKNN})
        tableRegistry[id].indexFn[0] = tableRegistry[id].indexFn[1] = recording;
    TableDir dir;
    dir.write("kpppk.nbw", Bytes(100, 5));
    dir.write("krkr.nbw", Bytes{0, 3, static_cast<std::uint8_t>(-3)});
    dir.write("kppkp.nbw", {}, 84219361);
    dir.write("kppkp.nbb", {}, 89391280);
    const Bytes kqk = {0, 1, 126, 127, 255, 130, 129, 128}; // byte classes
    dir.write("kqk.nbw", kqk);
    initEgtb(dir.path().c_str(), 1, true);
    ASSERT_EQ(egtbMaxPieces, 5);
    std::string scores;
    for (std::uint32_t i = 0; i < kqk.size(); ++i)
        scores += std::to_string(probeValue(KQK, 0, i)) + " " +
                  probeAt("k7/8/8/8/8/8/8/KQ6 w - - 0 1", i) + ", ";
    EXPECT_EQ(scores, "0 -1, 32641 15748, 32766 15998, 32767 none, -32641 -15750, "
                      "-32766 -16000, -32640 -15748, 32640 15746, ");
    // White's set first with squares from the highest down; with Black's
    // pawns the colours are exchanged and the board inverted.
    calls = 0;
    EXPECT_EQ(probeAt("4k3/8/8/8/8/2PPP3/8/4K3 w - - 0 1", 7), "15756");
    EXPECT_EQ(given, "k3 p21,20,19 / k59 p0,0,0 ep127 inv0");
    EXPECT_EQ(probeAt("4k3/8/2ppp3/8/8/8/8/4K3 b - - 0 1", 7), "15756");
    EXPECT_EQ(given, "k59 p45,44,43 / k3 p0,0,0 ep127 inv1");
    // The other sides to move need the missing Black-to-move file; past the
    // file's end there is no information either.
    EXPECT_EQ(probeAt("4k3/8/8/8/8/2PPP3/8/4K3 b - - 0 1", 7), "none");
    EXPECT_EQ(probeAt("4k3/8/2ppp3/8/8/8/8/4K3 w - - 0 1", 7), "none");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(probeAt("4k3/8/8/8/8/2PPP3/8/4K3 w - - 0 1", 100), "none");
    // A symmetric table serves both sides from its one file; a draw is -1
    // with White to move and +1 with Black.
    EXPECT_EQ(probeAt("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1", 1), "15752");
    EXPECT_EQ(probeAt("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1", 2), "-15754");
    EXPECT_EQ(probeAt("r3k3/8/8/8/8/8/8/R3K3 w - - 0 1", 0), "-1");
    EXPECT_EQ(probeAt("r3k3/8/8/8/8/8/8/R3K3 b - - 0 1", 0), "1");
    // Five pieces with en passant; six pieces are not probed below six.
    EXPECT_EQ(probeAt("4k3/8/8/3pP3/8/P7/8/4K3 w - d6 0 1", 0), "-1");
    EXPECT_EQ(given, "k3 p35,23,0 / k59 p36,0,0 ep44 inv0");
    EXPECT_EQ(probeAt("4k3/8/8/3pp3/8/2PP4/8/4K3 w - - 0 1", 0), "none");
    // kppkp's fixed Black-to-move indices answer without reading the file.
    for (std::uint32_t i : KPPKP_FIXED) {
        EXPECT_EQ(probeValue(KPPKP, 1, i), -32639) << i;
        EXPECT_EQ(probeValue(KPPKP, 1, i + 1) + probeValue(KPPKP, 0, i), 0) << i;
    }
    EXPECT_EQ(probeValue(KPPKP, 1, 89391280), VALUE_BROKEN);
    dir.write("knnknn.nbw", Bytes(10, 0));
    initEgtb(dir.path().c_str(), 1, true);
    EXPECT_EQ(probeAt("4k3/8/8/8/8/8/8/NN1K1nn1 w - - 0 1", 0), "-1");
    EXPECT_EQ(probeAt("4k3/8/8/8/8/1PPPP3/8/4K3 w - - 0 1", 0), "none"); // four pawns
    // kqk all draws: the search asks and scores a draw only with the switch on.
    dir.write("kqk.nbw", Bytes(64, 0));
    dir.write("kqk.nbb", Bytes(64, 0));
    initEgtb(dir.path().c_str(), 1, true);
    StandaloneSearch env;
    env.shared().maxDepth = 3;
    env.shared().postThinking = 0;
    env.setPosition("k7/8/8/8/8/8/3K4/1Q6 w - - 0 1");
    RootReport off, on;
    calls = 0, nextIndex = 0;
    env.shared().useEgtb = 0;
    env.search(1 << 30, &off);
    EXPECT_EQ(calls, 0);
    EXPECT_GT(off.score, 800);
    env.clearTables();
    env.shared().useEgtb = 1;
    env.search(1 << 30, &on);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(on.score, -1);
}

} // namespace
