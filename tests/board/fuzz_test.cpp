// Robustness: the FEN reader and both move parsers get random bytes and
// mutated real texts in heap buffers of exactly their length (the sanitizer
// build sees any read past the terminating zero); whatever board the reader
// builds goes through the generators, make-move and the game-end test.
#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "board/attacks.h"
#include "board/gameend.h"
#include "board_fixture.h"

namespace {

struct Fuzzer {
    std::mt19937 rng;
    int below(size_t n) { return static_cast<int>(rng() % n); }

    // A seed with up to six damages: random bytes or letters of the alphabet
    // inserted, pieces cut out, truncated, repeated or replaced by digits.
    std::string text(const std::vector<std::string>& seeds, const char* alphabet) {
        std::string s = seeds[below(seeds.size())];
        for (int k = below(7); k > 0; --k) {
            const size_t pos = below(s.size() + 1);
            const std::string insert[] = {std::string(1, static_cast<char>(1 + below(255))),
                                          std::string(1, alphabet[below(std::strlen(alphabet))]),
                                          std::to_string(rng()), s.substr(below(s.size() + 1)), ""};
            const size_t cut[] = {0, size_t(1 + below(3)), s.size()};
            s = s.substr(0, pos) + insert[below(5)] +
                s.substr(std::min(s.size(), pos + cut[below(3)]));
        }
        return s;
    }
};

// The text in a heap block of exactly its length plus the terminating zero.
std::vector<char> exactCopy(const std::string& text) {
    return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

// What every reader of a board that setFromFen built relies on.
bool sane(const Board& b) {
    return std::all_of(b.squares, b.squares + 64, [](int k) { return k >= PAWN && k <= EMPTY; }) &&
           (b.toMove == WHITE || b.toMove == BLACK) && (b.kingSq[0] | b.kingSq[1]) >> 6 == 0 &&
           (b.enpassant == 0 || rankOf(b.enpassant) == (b.toMove == WHITE ? 5 : 2)) &&
           b.halfmoveClock >= 0 && b.gamePly >= 0 && fenOf(b).size() < FEN_BUFFER_SIZE;
}

// Whatever a move parser returns is one of the board's legal moves.
TEST(Robustness, ReaderParsersGeneratorsAndMakeMoveOnDamagedTexts) {
    Fuzzer fz{std::mt19937(7)};
    std::vector<std::string> fens = {
        "QQQQQQQQ/QQQQQQQK/8/3K4/3k4/8/qqqqqqqk/qqqqqqqq w KQkq - 0 1",
        "PPPPPPPP/KKKKKKKK/8/8/8/8/kkkkkkkk/pppppppp w KQkqKQkq e3 2147483647 99999999999",
        "9/0/99999999/1/2/3 w", "4k3/8/8/3pP3/8/8/8/4K3 w - d", ""};
    for (const PerftEntry& e : perftSuite()) fens.push_back(e.fen);
    const std::vector<std::string> moves = {"e2e4", "e7e8q", "Nf3",   "Ng1f3", "exd5",
                                            "Nbd7", "O-O",   "o-o-o", "e8=Q",  "bxa1R"};
    std::unique_ptr<MoveList> list(new MoveList);
    std::unique_ptr<Move[]> all(new Move[MOVELIST_CAPACITY]);
    boardFrom(""); // builds the tables
    stdoutOf([&] { // captured kings and game ends on nonsense boards print
        for (int i = 0; i < 40000 && !HasFailure(); ++i) {
            const std::string text = fz.text(fens, "pnbrqkPNBRQK0123456789/ -wbKQkqaeh\n");
            Board b;
            setFromFen(b, exactCopy(text).data());
            ASSERT_TRUE(sane(b)) << text;
            const std::string move = fz.text(moves, "abcdefgh12345678xNBRQKPOo-=+#nbrq0\n");
            const std::vector<Move> legal = legalMoves(b);
            for (Move m : {parseCoordinateMove(b, exactCopy(move).data()),
                           parseSanMove(b, exactCopy(move).data())})
                ASSERT_TRUE(m == NO_MOVE || std::count(legal.begin(), legal.end(), m) == 1) << move;
            for (int ply = 0; ply < 3; ++ply) {
                const int n = generateLegal(b, all.get());
                ASSERT_TRUE(n >= 0 && n < MOVELIST_CAPACITY && all[n] == NO_MOVE) << text;
                ASSERT_LT(generateQuiescence(b, *list), MOVELIST_CAPACITY) << text;
                const int captures = generateCaptures(b, *list);
                ASSERT_EQ(list->moves[captures], NO_MOVE) << text;
                const int quiet = generateQuiet(b, *list);
                ASSERT_EQ(list->moves[quiet], NO_MOVE) << text;
                const Move m =
                    quiet == 0 || fz.below(10) == 0 ? NULL_MOVE : list->moves[fz.below(quiet)];
                makeMove(b, m);
                leavesKingAttacked(b, m);
            }
            checkGameEnd(b);
        }
    });
}

} // namespace
