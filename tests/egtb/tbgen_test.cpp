// tarvok-tbgen end to end, and searches that play its tables' moves.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <unistd.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "egtb/egtb.h"
#include "egtb_support.h"

namespace {

// Runs a shell command with a time limit (status -1: it ran out of time);
// the generator's lines without the time each table took and the scratch
// directory.
ChildResult run(const std::string& command, int seconds) {
    ChildResult r =
        runInChild([&] { execl("/bin/sh", "sh", "-c", command.c_str(), nullptr); }, seconds * 1000);
    r.output =
        std::regex_replace(r.output, std::regex(" time_ms [0-9]+|/tmp/tarvok-egtb-\\w+/"), "");
    return r;
}
ChildResult tbgen(const std::string& args, int seconds = 60) {
    return run("exec " TARVOK_BINARY_DIR "/tarvok-tbgen " + args, seconds);
}

TEST(EgtbGenerator, WritesNeededTablesFirstChecksThemAndRejectsBadArguments) {
    TableDir dir;
    const std::string d = dir.path();
    ChildResult r = tbgen(d + " kpk 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "knk.nbw legal 26282 win 0 draw 26282 loss 0 max_win 0 max_loss 0\n"
                        "knk.nbb legal 28644 win 0 draw 28644 loss 0 max_win 0 max_loss 0\n"
                        "kbk.nbw legal 24736 win 0 draw 24736 loss 0 max_win 0 max_loss 0\n"
                        "kbk.nbb legal 28644 win 0 draw 28644 loss 0 max_win 0 max_loss 0\n"
                        "krk.nbw legal 22400 win 22400 draw 0 loss 0 max_win 16 max_loss 0\n"
                        "krk.nbb legal 28644 win 0 draw 2847 loss 25797 max_win 0 max_loss 16\n"
                        "kqk.nbw legal 18492 win 18492 draw 0 loss 0 max_win 10 max_loss 0\n"
                        "kqk.nbb legal 28644 win 0 draw 2953 loss 25691 max_win 0 max_loss 10\n"
                        "kpk.nbw legal 81664 win 62480 draw 19184 loss 0 max_win 28 max_loss 0\n"
                        "kpk.nbb legal 84012 win 0 draw 35210 loss 48802 max_win 0 max_loss 28\n");
    EXPECT_FALSE(std::filesystem::exists(d + "/kpk.nbw.tmp"));
    // Indices no position reaches hold 127; the byte of a mate in 10 is 117.
    std::ifstream in(d + "/kqk.nbw", std::ios::binary);
    Bytes kqk((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(kqk.size(), 25635u);
    EXPECT_EQ(std::count(kqk.begin(), kqk.end(), 127), 25635 - 18492);
    EXPECT_EQ(std::count(kqk.begin(), kqk.end(), 116), 0);
    // The check agrees with every written table; a changed byte is found.
    ChildResult v = tbgen("--verify " + d + " 3");
    EXPECT_EQ(v.status, 0) << v.output;
    EXPECT_EQ(v.output, "kpk checked 331352 faults 0\nknk checked 429440 faults 0\n"
                        "kbk checked 417228 faults 0\nkrk checked 399112 faults 0\n"
                        "kqk checked 368452 faults 0\n");
    const auto mateIn10 = std::find(kqk.begin(), kqk.end(), 117);
    ASSERT_NE(mateIn10, kqk.end());
    *mateIn10 = 118; // said to be a mate in 9
    dir.write("kqk.nbw", kqk);
    ChildResult bad = tbgen("--verify " + d + " kqk");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.output.substr(bad.output.find("kqk checked")), "kqk checked 368452 faults 64\n")
        << bad.output;
    // Each error is one line on standard error.
    const std::string usage =
        "usage: tarvok-tbgen [-c] DIR NAME... | tarvok-tbgen --verify DIR NAME...\n";
    const std::tuple<const char*, int, std::string> rows[] = {
        {"", 2, usage},
        {"/tmp", 2, usage},
        {"/tmp kxk", 1, "tarvok-tbgen: unknown table kxk\n"},
        {"/tmp kqqkqq", 1, "tarvok-tbgen: 6-piece tables are not generated: kqqkqq\n"},
        {"/nonexistent-tarvok-dir kqk", 1, "tarvok-tbgen: no directory /nonexistent-tarvok-dir\n"}};
    for (const auto& [args, status, err] : rows) {
        ChildResult r = tbgen(std::string(args) + " 2>&1 >/dev/null", 5);
        EXPECT_EQ(r.status, status) << args;
        EXPECT_EQ(r.output, err) << args;
    }
}

// The longest wins of the 4-piece tables CI builds (kpkp with every table its
// promotions reach, and its en-passant positions); a depth-3 search in a won
// position plays a move after which the loser is mated one move sooner.
TEST(SlowEgtbGenerator, FourPieceTablesHoldTheirLongestWinsPassTheCheckAndArePlayed) {
    TableDir dir, home;
    const std::string d = dir.path();
    ChildResult r = tbgen(d + " kqkr kbnk kbbk kpkp", 900);
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* line :
         {"kqkr.nbw legal 1145588 win 1134276 draw 9133 loss 2179 max_win 35 max_loss 18\n",
          "kqkr.nbb legal 1378636 win 395019 draw 80430 loss 903187 max_win 19 max_loss 35\n",
          "kbnk.nbw legal 1391681 win 1384795 draw 6886 loss 0 max_win 33 max_loss 0\n",
          "kbnk.nbb legal 1747284 win 0 draw 316361 loss 1430923 max_win 0 max_loss 33\n",
          "kbbk.nbw legal 650792 win 320615 draw 330177 loss 0 max_win 19 max_loss 0\n",
          "kbbk.nbb legal 873642 win 0 draw 513732 loss 359910 max_win 0 max_loss 19\n",
          "kpkp.nbw legal 3739937 win 1623746 draw 1247206 loss 868985 max_win 33 max_loss 33\n",
          "kpkp.nbb legal 3739937 win 1623746 draw 1247206 loss 868985 max_win 33 max_loss 33\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
    ChildResult v = tbgen("--verify " + d + " kqkr kbnk kbbk kpkp", 900);
    EXPECT_EQ(v.status, 0) << v.output;
    EXPECT_NE(v.output.find("kpkp checked 14959748 faults 0\n"), std::string::npos) << v.output;
    std::ofstream(home.file("tarvok init.ini")) << "pref:egtb-path=" << d << "\n";
    auto dev = [&](const std::string& args) {
        return run("cd '" + home.path() + "' && exec " TARVOK_BINARY_DIR "/tarvok-dev " + args, 20)
            .output;
    };
    EXPECT_EQ(dev("probe 'k7/8/8/8/8/8/8/KQ6 w - - 0 1'"),
              "Egtbs initializated(4)\nEgtb cache size 64M\nprobe 15986\n");
    RegistryScope scope;
    initEgtb(d.c_str(), 4, true);
    std::mt19937 rng(7);
    int played = 0;
    for (std::string pieces : {"KkQ", "KkR", "KkBN", "KkQr"})
        for (int found = 0; found < 25;) {
            std::string board(64, '1'), fen;
            for (std::size_t k = 0; k < pieces.size();)
                if (std::uint32_t sq = rng() % 64; board[sq] == '1') board[sq] = pieces[k++];
            for (int r = 0; r < 8; ++r)
                fen += board.substr(8 * r, 8) + (r < 7 ? "/" : " w - - 0 1");
            Board b = boardOf(fen);
            int score, reply = 0;
            if (isSquareAttacked(b, b.kingSq[1], WHITE) || !probeEgtb(b, score) || score <= 1)
                continue;
            ++found;
            const std::string out = dev("search '" + fen + "' depth 3");
            std::smatch best;
            ASSERT_TRUE(std::regex_search(out, best, std::regex("bestmove (\\S+)"))) << fen << out;
            Move m = parseCoordinateMove(b, best[1].str().c_str());
            ASSERT_NE(m, NO_MOVE) << fen << " " << best[1];
            makeMove(b, m);
            ASSERT_TRUE(std::popcount(b.occupied) == 2 || probeEgtb(b, reply)) << fen;
            // A win in n scores 16000 - 2n; the loser is then mated in n - 1.
            EXPECT_EQ(reply, -16000 + 2 * ((16000 - score) / 2 - 1)) << fen << " " << best[1];
            ++played;
        }
    EXPECT_EQ(played, 100);
}

} // namespace
