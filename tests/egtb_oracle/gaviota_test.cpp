// Generated 3-piece tables, plain and compressed, read through the engine's
// prober, against the Gaviota tables for every legal position.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "board/attacks.h"
#include "board/tables.h"
#include "egtb/egtb.h"

#ifdef TARVOK_HAVE_GAVIOTA
#include <gtb-probe.h>
#endif

namespace {

constexpr const char* GAVIOTA_DIR = "/usr/share/gaviotatb/gtb4";

// Runs the generator into a fresh directory; empty on failure.
std::string generate(const std::string& name, const std::string& flags) {
    std::string dir = testing::TempDir() + "tarvok-gtb-" + name + "-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::string cmd = "timeout 60 " TARVOK_BINARY_DIR "/tarvok-tbgen " + flags + " " + dir +
                      " 3 > " + dir + "/log 2>&1";
    return std::system(cmd.c_str()) == 0 ? dir : std::string();
}

#ifdef TARVOK_HAVE_GAVIOTA
// Gaviota's score of a position in the engine's units, from the side to
// move's view; false when it has none.
bool gaviotaScore(const Board& b, int& score) {
    unsigned ws[17], bs[17];
    unsigned char wp[17], bp[17];
    int nw = 0, nb = 0;
    const unsigned char kinds[] = {tb_PAWN, tb_KNIGHT, tb_BISHOP, tb_ROOK, tb_QUEEN, tb_KING};
    for (int sq = 0; sq < 64; ++sq) {
        int k = b.squares[sq];
        if (k < PAWN || k > KING) continue;
        if (b.colourBB[0] >> sq & 1)
            ws[nw] = sq ^ 7, wp[nw++] = kinds[k];
        else
            bs[nb] = sq ^ 7, bp[nb++] = kinds[k];
    }
    ws[nw] = bs[nb] = tb_NOSQUARE;
    wp[nw] = bp[nb] = tb_NOPIECE;
    unsigned info = 0, plies = 0;
    unsigned stm = b.toMove == WHITE ? tb_WHITE_TO_MOVE : tb_BLACK_TO_MOVE;
    if (!tb_probe_hard(stm, tb_NOSQUARE, tb_NOCASTLE, ws, bs, wp, bp, &info, &plies)) return false;
    if (info == tb_DRAW)
        score = -b.toMove;
    else if ((info == tb_WMATE) == (b.toMove == WHITE))
        score = 16000 - int(plies + 1);
    else
        score = -16000 + int(plies);
    return true;
}

// Gaviota's tables open for one test's life.
class GaviotaScope {
  public:
    GaviotaScope() {
        paths_ = tbpaths_add(tbpaths_init(), GAVIOTA_DIR);
        tb_init(0, tb_CP4, paths_);
        tbcache_init(32 * 1024 * 1024, 96);
    }
    ~GaviotaScope() {
        tbcache_done();
        tb_done();
        tbpaths_done(paths_);
    }
    GaviotaScope(const GaviotaScope&) = delete;
    GaviotaScope& operator=(const GaviotaScope&) = delete;

  private:
    const char** paths_;
};

std::string fenOf(int wk, int bk, int sq, char piece, char side) {
    char rows[8][9];
    for (int r = 0; r < 8; ++r) {
        for (int f = 0; f < 8; ++f) rows[r][f] = '1';
        rows[r][8] = 0;
    }
    auto put = [&](int s, char c) { rows[7 - (s >> 3)][7 - (s & 7)] = c; };
    put(wk, 'K');
    put(bk, 'k');
    put(sq, piece);
    std::string fen;
    for (int r = 0; r < 8; ++r) fen += std::string(rows[r]) + (r < 7 ? "/" : "");
    return fen + " " + side + " - - 0 1";
}
#endif

TEST(EgtbGaviota, EveryThreePiecePositionMatchesGaviota) {
#ifndef TARVOK_HAVE_GAVIOTA
    FAIL() << "Gaviota is not installed: apt-get install -y libgaviotatb-dev gaviotatb";
#else
    ASSERT_TRUE(std::filesystem::exists(std::string(GAVIOTA_DIR) + "/kqk.gtb.cp4"))
        << "no Gaviota tables in " << GAVIOTA_DIR << ": apt-get install -y gaviotatb";
    GaviotaScope gaviota;
    Board b;
    initBoardTables(nullptr, b);
    for (const char* flags : {"", "-c"}) {
        const std::string dir = generate(*flags ? "c" : "plain", flags);
        ASSERT_FALSE(dir.empty()) << "tarvok-tbgen " << flags << " failed or took over 60 s";
        initEgtb(dir.c_str(), 4, true);
        ASSERT_EQ(egtbMaxPieces, 3);
        long compared = 0, differ = 0;
        for (char piece : {'P', 'N', 'B', 'R', 'Q'})
            for (char side : {'w', 'b'})
                for (int wk = 0; wk < 64; ++wk)
                    for (int bk = 0; bk < 64; ++bk)
                        for (int sq = 0; sq < 64; ++sq) {
                            int dr = (wk >> 3) - (bk >> 3), df = (wk & 7) - (bk & 7);
                            if (dr * dr <= 1 && df * df <= 1) continue;
                            if (sq == wk || sq == bk) continue;
                            if (piece == 'P' && (sq < 8 || sq >= 56)) continue;
                            setFromFen(b, fenOf(wk, bk, sq, piece, side).c_str());
                            if (isSquareAttacked(b, b.kingSq[b.toMove == WHITE ? 1 : 0], -b.toMove))
                                continue; // the side not to move in check
                            int ours = 0, theirs = 0;
                            bool probed = probeEgtb(b, ours);
                            ASSERT_TRUE(gaviotaScore(b, theirs)) << fenOf(wk, bk, sq, piece, side);
                            ++compared;
                            if ((!probed || ours != theirs) && differ++ < 5)
                                ADD_FAILURE() << fenOf(wk, bk, sq, piece, side) << " tables "
                                              << (probed ? std::to_string(ours) : "none")
                                              << " Gaviota " << theirs << " (" << flags << ")";
                        }
        EXPECT_EQ(differ, 0);
        EXPECT_EQ(compared, 331352 + 429440 + 417228 + 399112 + 368452);
        std::filesystem::remove_all(dir);
    }
    // Gaviota's own check of the conventions: Ke1 Qd1 against Ka8.
    setFromFen(b, "k7/8/8/8/8/8/8/3QK3 w - - 0 1");
    int s = 0;
    ASSERT_TRUE(gaviotaScore(b, s));
    EXPECT_EQ(s, 15986);
#endif
}

} // namespace
