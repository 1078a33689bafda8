// Generated 3-piece tables, plain and compressed, read through the engine's
// prober, against the Gaviota tables for every legal position.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "board/attacks.h"
#include "board/tables.h"
#include "egtb/egtb.h"

#ifdef TARVOK_HAVE_GAVIOTA
#include <gtb-probe.h>

namespace {

constexpr const char* GAVIOTA_DIR = "/usr/share/gaviotatb/gtb4";

// Gaviota's score in the engine's units from the side to move's view (its
// squares are ours XOR 7); false when it has none.
bool gaviotaScore(const Board& b, int& score) {
    unsigned sq[2][17], n[2] = {0, 0};
    unsigned char kind[2][17];
    const unsigned char kinds[] = {tb_PAWN, tb_KNIGHT, tb_BISHOP, tb_ROOK, tb_QUEEN, tb_KING};
    for (int s = 0; s < 64; ++s)
        if (b.occupied >> s & 1) {
            int c = (b.colourBB[0] >> s & 1) ? 0 : 1;
            sq[c][n[c]] = s ^ 7, kind[c][n[c]++] = kinds[b.squares[s]];
        }
    for (int c = 0; c < 2; ++c) sq[c][n[c]] = tb_NOSQUARE, kind[c][n[c]] = tb_NOPIECE;
    unsigned info = 0, plies = 0;
    if (!tb_probe_hard(b.toMove == WHITE ? tb_WHITE_TO_MOVE : tb_BLACK_TO_MOVE, tb_NOSQUARE,
                       tb_NOCASTLE, sq[0], sq[1], kind[0], kind[1], &info, &plies))
        return false;
    score = info == tb_DRAW                             ? -b.toMove
            : (info == tb_WMATE) == (b.toMove == WHITE) ? 16000 - int(plies + 1)
                                                        : -16000 + int(plies);
    return true;
}

TEST(EgtbGaviota, EveryThreePiecePositionMatchesGaviota) {
    ASSERT_TRUE(std::filesystem::exists(std::string(GAVIOTA_DIR) + "/kqk.gtb.cp4"))
        << "no Gaviota tables in " << GAVIOTA_DIR << ": apt-get install -y gaviotatb";
    const char** paths = tbpaths_add(tbpaths_init(), GAVIOTA_DIR);
    tb_init(0, tb_CP4, paths);
    tbcache_init(32 * 1024 * 1024, 96);
    Board b;
    initBoardTables(nullptr, b);
    for (const char* flags : {"", "-c"}) {
        const std::string dir = "/tmp/tarvok-gtb" + std::to_string(getpid()) + flags;
        std::filesystem::create_directories(dir);
        const std::string generate = "timeout 60 " TARVOK_BINARY_DIR "/tarvok-tbgen " +
                                     std::string(flags) + " " + dir + " 3 > " + dir + "/log 2>&1";
        ASSERT_EQ(std::system(generate.c_str()), 0)
            << "tarvok-tbgen " << flags << " failed or took over 60 s";
        initEgtb(dir.c_str(), 4, true);
        ASSERT_EQ(egtbMaxPieces, 3);
        long compared = 0, differ = 0;
        for (const char piece : {'P', 'N', 'B', 'R', 'Q'})
            for (int i = 0; i < 2 * 64 * 64 * 64; ++i) {
                const int side = i >> 18, wk = i >> 12 & 63, bk = i >> 6 & 63, sq = i & 63;
                const int df = (wk & 7) - (bk & 7), dr = (wk >> 3) - (bk >> 3);
                if (sq == wk || sq == bk || (df * df <= 1 && dr * dr <= 1) ||
                    (piece == 'P' && (sq < 8 || sq >= 56)))
                    continue;
                std::string fen; // square 0 is h1
                for (int s = 63; s >= 0; --s) {
                    fen += s == wk ? 'K' : s == bk ? 'k' : s == sq ? piece : '1';
                    if (s % 8 == 0) fen += s ? "/" : side ? " b - - 0 1" : " w - - 0 1";
                }
                setFromFen(b, fen.c_str());
                if (isSquareAttacked(b, b.kingSq[side ^ 1], side ? WHITE : BLACK))
                    continue; // the side not to move in check
                int ours = 0, theirs = 0;
                bool probed = probeEgtb(b, ours);
                ASSERT_TRUE(gaviotaScore(b, theirs)) << fen;
                ++compared;
                if ((!probed || ours != theirs) && differ++ < 5)
                    ADD_FAILURE() << fen << " tables " << (probed ? std::to_string(ours) : "none")
                                  << " Gaviota " << theirs << " (" << flags << ")";
            }
        EXPECT_EQ(differ, 0);
        EXPECT_EQ(compared, 331352 + 429440 + 417228 + 399112 + 368452);
        std::filesystem::remove_all(dir);
    }
    tbcache_done();
    tb_done();
    tbpaths_done(paths);
}

} // namespace
#else
TEST(EgtbGaviota, EveryThreePiecePositionMatchesGaviota) {
    FAIL() << "Gaviota is not installed: apt-get install -y libgaviotatb-dev gaviotatb";
}
#endif
