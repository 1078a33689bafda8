// tarvok-dev selfplay GAMES SEED DEPTH OUT.pgn: the engine plays itself at a
// fixed depth, reproducibly, for the shipped opening book. In the first
// OPENING_PLIES plies each side picks, by a seeded generator, one of the
// moves whose shallow score is within NEAR_BEST_MARGIN of the best, so that
// the games differ. A game ends by the rules (mate, stalemate, repetition,
// fifty moves, bare material), or is adjudicated: won when the depth search
// gives one side ADJUDICATE_SCORE or more in two successive plies, drawn at
// MAX_PLIES.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/gameend.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "search/standalone.h"
#include "tools/book/san_text.h"
#include "tools/dev_commands.h"

namespace {

constexpr int OPENING_PLIES = 10;
constexpr int NEAR_BEST_MARGIN = 20;
constexpr int SHALLOW_DEPTH = 4;
constexpr int ADJUDICATE_SCORE = 400;
constexpr int MAX_PLIES = 200;
constexpr int NO_TIME_LIMIT = 1 << 30;

// A small generator of its own, so that the engine's keys stay untouched.
struct SeededRandom {
    std::uint64_t x;
    int below(int n) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>((x >> 33) % static_cast<std::uint64_t>(n));
    }
};

int searchScore(StandaloneSearch& env, const Board& position, int depth, Move* best) {
    const Board saved = env.board();
    env.board() = position;
    env.shared().maxDepth = depth;
    RootReport report;
    const Move m = env.search(NO_TIME_LIMIT, &report);
    env.board() = saved;
    if (best) *best = m;
    return report.score;
}

Move nearBestMove(StandaloneSearch& env, SeededRandom& rng) {
    Move legal[MOVELIST_CAPACITY];
    const int n = generateLegal(env.board(), legal);
    int scores[MOVELIST_CAPACITY];
    int best = -SCORE_INFINITE;
    for (int i = 0; i < n; ++i) {
        Board child = env.board();
        makeMove(child, legal[i]);
        scores[i] = gameOverResult(child) ? 0 : -searchScore(env, child, SHALLOW_DEPTH, nullptr);
        if (scores[i] > best) best = scores[i];
    }
    Move near[MOVELIST_CAPACITY];
    int count = 0;
    for (int i = 0; i < n; ++i)
        if (scores[i] >= best - NEAR_BEST_MARGIN) near[count++] = legal[i];
    return near[rng.below(count)];
}

} // namespace

int devSelfPlay(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: tarvok-dev selfplay GAMES SEED DEPTH OUT.pgn\n", stderr);
        return 2;
    }
    const int games = std::atoi(argv[1]);
    const long seed = std::atol(argv[2]);
    const int depth = std::atoi(argv[3]);
    if (games < 1 || depth < 1 || depth > 20) {
        std::fputs("usage: tarvok-dev selfplay GAMES SEED DEPTH OUT.pgn\n", stderr);
        return 2;
    }
    std::FILE* out = std::fopen(argv[4], "w");
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[4]);
        return 1;
    }
    StandaloneSearch env(1 << 16, 1 << 16);
    env.shared().protocol = PROTOCOL_XBOARD;
    env.shared().postThinking = 0;
    for (int g = 0; g < games; ++g) {
        SeededRandom rng{static_cast<std::uint64_t>(seed) * 1000003u +
                         static_cast<std::uint64_t>(g)};
        env.setPosition(START_FEN);
        env.clearTables();
        std::string movetext, result = "1/2-1/2", how = "move limit";
        int lastSign = 0;
        for (int ply = 0;; ++ply) {
            if (const char* end = gameEndResult(env.board())) {
                const std::string text(end);
                result = text.substr(0, text.find(' '));
                how = text.substr(text.find('{') + 1, text.find('}') - text.find('{') - 1);
                break;
            }
            if (ply >= MAX_PLIES) break;
            Move m;
            if (ply < OPENING_PLIES) {
                m = nearBestMove(env, rng);
            } else {
                const int score = searchScore(env, env.board(), depth, &m);
                const int white = score * env.board().toMove;
                const int sign = white >= ADJUDICATE_SCORE    ? 1
                                 : white <= -ADJUDICATE_SCORE ? -1
                                                              : 0;
                if (sign != 0 && sign == lastSign) {
                    result = sign > 0 ? "1-0" : "0-1";
                    how = "adjudicated";
                    break;
                }
                lastSign = sign;
            }
            if (ply % 2 == 0) movetext += std::to_string(ply / 2 + 1) + ". ";
            movetext += sanText(env.board(), m) + " ";
            env.play(m);
        }
        std::fprintf(out,
                     "[Event \"tarvok selfplay depth %d\"]\n[Round \"%d\"]\n[White \"tarvok\"]\n"
                     "[Black \"tarvok\"]\n[Result \"%s\"]\n\n%s{%s} %s\n\n",
                     depth, g + 1, result.c_str(), movetext.c_str(), how.c_str(), result.c_str());
        std::fflush(out);
    }
    std::fclose(out);
    return 0;
}
