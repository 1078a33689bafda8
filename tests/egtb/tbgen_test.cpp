// tarvok-tbgen end to end: the tables it writes, what it prints, its check
// of written tables, and its errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include <bit>
#include <cstdio>
#include <random>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "board/tables.h"
#include "egtb/egtb.h"
#include "egtb_support.h"

namespace {

struct GenRun {
    int status;
    std::string out, err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the generator with a time limit; status 124 means it ran out of time.
GenRun tbgen(const std::string& args, int seconds) {
    const std::string base = testing::TempDir() + "tbgen-run-" + std::to_string(getpid());
    std::string cmd = "timeout " + std::to_string(seconds) +
                      " " TARVOK_BINARY_DIR "/tarvok-tbgen " + args + " > " + base + ".out 2> " +
                      base + ".err";
    int raw = std::system(cmd.c_str());
    GenRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(base + ".out"),
             readFile(base + ".err")};
    std::filesystem::remove(base + ".out");
    std::filesystem::remove(base + ".err");
    return r;
}

// The output without the time each table took.
std::string withoutTimes(const std::string& s) {
    return std::regex_replace(s, std::regex(" time_ms [0-9]+"), "");
}

std::string probe(const char* fen) {
    Board b;
    initBoardTables(nullptr, b);
    setFromFen(b, fen);
    int score = 0;
    return probeEgtb(b, score) ? std::to_string(score) : "none";
}

TEST(EgtbGenerator, WritesNeededTablesFirstAndTheyScoreMates) {
    TableDir dir;
    const std::string d = dir.path();
    GenRun r = tbgen(d + " kpk", 60);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(withoutTimes(r.out),
              d + "/knk.nbw legal 26282 win 0 draw 26282 loss 0 max_win 0 max_loss 0\n" + d +
                  "/knk.nbb legal 28644 win 0 draw 28644 loss 0 max_win 0 max_loss 0\n" + d +
                  "/kbk.nbw legal 24736 win 0 draw 24736 loss 0 max_win 0 max_loss 0\n" + d +
                  "/kbk.nbb legal 28644 win 0 draw 28644 loss 0 max_win 0 max_loss 0\n" + d +
                  "/krk.nbw legal 22400 win 22400 draw 0 loss 0 max_win 16 max_loss 0\n" + d +
                  "/krk.nbb legal 28644 win 0 draw 2847 loss 25797 max_win 0 max_loss 16\n" + d +
                  "/kqk.nbw legal 18492 win 18492 draw 0 loss 0 max_win 10 max_loss 0\n" + d +
                  "/kqk.nbb legal 28644 win 0 draw 2953 loss 25691 max_win 0 max_loss 10\n" + d +
                  "/kpk.nbw legal 81664 win 62480 draw 19184 loss 0 max_win 28 max_loss 0\n" + d +
                  "/kpk.nbb legal 84012 win 0 draw 35210 loss 48802 max_win 0 max_loss 28\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(std::filesystem::exists(d + "/kpk.nbw.tmp"));
    // Indices no position reaches hold 127; the byte of a mate in 10 is 117.
    std::string kqk = readFile(d + "/kqk.nbw");
    ASSERT_EQ(kqk.size(), 25635u);
    EXPECT_EQ(std::count(kqk.begin(), kqk.end(), '\x7f'), 25635 - 18492);
    EXPECT_GT(std::count(kqk.begin(), kqk.end(), char(117)), 0);
    EXPECT_EQ(std::count(kqk.begin(), kqk.end(), char(116)), 0);

    RegistryScope scope;
    initEgtb(d.c_str(), 1, true);
    EXPECT_EQ(egtbMaxPieces, 3);
    EXPECT_EQ(probe("k7/8/8/8/8/8/8/3QK3 w - - 0 1"), "15986");
    EXPECT_EQ(probe("k7/8/8/8/8/8/8/3QK3 b - - 0 1"), "-15986");
    EXPECT_EQ(probe("8/8/8/8/8/1k6/8/K1q5 w - - 0 1"), "-16000"); // mated
    EXPECT_EQ(probe("k7/8/1Q6/8/8/8/8/7K b - - 0 1"), "1");       // stalemate

    // The check agrees with every written table; a changed byte is found.
    GenRun v = tbgen("--verify " + d + " 3", 60);
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_EQ(v.out, "kpk checked 331352 faults 0\nknk checked 429440 faults 0\n"
                     "kbk checked 417228 faults 0\nkrk checked 399112 faults 0\n"
                     "kqk checked 368452 faults 0\n");
    kqk[kqk.find(char(117))] = char(118); // a mate in 10 said to be in 9
    std::ofstream(d + "/kqk.nbw", std::ios::binary) << kqk;
    GenRun bad = tbgen("--verify " + d + " kqk", 60);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("kqk checked 368452 faults "), std::string::npos) << bad.out;
    EXPECT_EQ(bad.out.find("faults 0\n"), std::string::npos) << bad.out;
}

TEST(EgtbGenerator, BadArgumentsGetOneLineAndAStatus) {
    GenRun r = tbgen("", 5);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "usage: tarvok-tbgen [-c] DIR NAME... | tarvok-tbgen --verify DIR NAME...\n");
    r = tbgen("/tmp", 5);
    EXPECT_EQ(r.status, 2);
    r = tbgen("/tmp kxk", 5);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarvok-tbgen: unknown table kxk\n");
    r = tbgen("/nonexistent-tarvok-dir kqk", 5);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarvok-tbgen: no directory /nonexistent-tarvok-dir\n");
    EXPECT_EQ(r.out, "");
}

std::string runIn(const std::string& dir, const std::string& args) {
    std::string cmd = "cd '" + dir + "' && timeout 20 " TARVOK_BINARY_DIR "/tarvok-dev " + args;
    FILE* out = popen(cmd.c_str(), "r");
    std::string text;
    char buf[512];
    while (out && std::fgets(buf, sizeof buf, out)) text += buf;
    if (out) pclose(out);
    return text;
}

// With the tables in "pref:egtb-path=" the engine starts with "Egtbs
// initializated(4)", and a depth-3 search in a won position plays a move
// after which the loser is mated one move sooner.
void searchesPlayTheTablesMoves(const std::string& tables) {
    TableDir home;
    home.write("tarvok init.ini", Bytes{});
    std::ofstream(home.file("tarvok init.ini")) << "pref:egtb-path=" << tables << "\n";
    EXPECT_EQ(runIn(home.path(), "probe 'k7/8/8/8/8/8/8/KQ6 w - - 0 1'"),
              "Egtbs initializated(4)\nEgtb cache size 64M\nprobe 15986\n");
    RegistryScope scope;
    initEgtb(tables.c_str(), 4, true);
    std::mt19937 rng(7);
    const char* pieces[] = {"Q", "R", "BN", "Qr"};
    int played = 0;
    for (int t = 0; t < 4; ++t)
        for (int found = 0; found < 25;) {
            // A random placement; kings first, then the pieces.
            std::string board(64, '1');
            int sqs[4];
            std::string all = std::string("Kk") + pieces[t];
            bool ok = true;
            for (std::size_t i = 0; i < all.size() && ok; ++i) {
                sqs[i] = int(rng() % 64);
                ok = board[sqs[i]] == '1';
                board[sqs[i]] = all[i];
            }
            if (!ok) continue;
            std::string fen;
            for (int r = 0; r < 8; ++r) fen += board.substr(8 * r, 8) + (r < 7 ? "/" : "");
            fen += " w - - 0 1";
            Board b;
            initBoardTables(nullptr, b);
            setFromFen(b, fen.c_str());
            int score;
            if (isSquareAttacked(b, b.kingSq[1], WHITE) || !probeEgtb(b, score) || score <= 1)
                continue;
            ++found;
            std::string out = runIn(home.path(), "search '" + fen + "' depth 3");
            std::size_t at = out.find("bestmove ");
            ASSERT_NE(at, std::string::npos) << fen << "\n" << out;
            std::string move = out.substr(at + 9, out.find(' ', at + 9) - at - 9);
            Move m = parseCoordinateMove(b, move.c_str());
            ASSERT_NE(m, NO_MOVE) << fen << " " << move;
            Board after = b;
            makeMove(after, m);
            int reply = 0;
            ASSERT_TRUE(std::popcount(after.occupied) == 2 || probeEgtb(after, reply)) << fen;
            // Win in n scores 16000 - 2n; the loser is then mated in n - 1.
            const int n = (16000 - score) / 2;
            EXPECT_EQ(reply, -16000 + 2 * (n - 1)) << fen << " " << move;
            ++played;
        }
    EXPECT_EQ(played, 100);
}

// The longest wins of the 4-piece tables CI builds (two minutes or so).
TEST(SlowEgtbGenerator, FourPieceTablesHoldTheirLongestWinsAndPassTheCheck) {
    TableDir dir;
    const std::string d = dir.path();
    GenRun r = tbgen(d + " kqkr kbnk kbbk", 900);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = withoutTimes(r.out);
    for (const char* line :
         {"/kqkr.nbw legal 1145588 win 1134276 draw 9133 loss 2179 max_win 35 max_loss 18\n",
          "/kqkr.nbb legal 1378636 win 395019 draw 80430 loss 903187 max_win 19 max_loss 35\n"})
        EXPECT_NE(out.find(d + line), std::string::npos) << out;
    for (const char* line :
         {"/kbnk.nbw legal 1391681 win 1384795 draw 6886 loss 0 max_win 33 max_loss 0\n",
          "/kbnk.nbb legal 1747284 win 0 draw 316361 loss 1430923 max_win 0 max_loss 33\n",
          "/kbbk.nbw legal 650792 win 320615 draw 330177 loss 0 max_win 19 max_loss 0\n",
          "/kbbk.nbb legal 873642 win 0 draw 513732 loss 359910 max_win 0 max_loss 19\n"})
        EXPECT_NE(out.find(d + line), std::string::npos) << out;
    GenRun v = tbgen("--verify " + d + " kqkr kbnk kbbk", 900);
    EXPECT_EQ(v.status, 0) << v.out;
    searchesPlayTheTablesMoves(d);
}

} // namespace
