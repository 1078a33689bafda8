// Robustness: the FEN reader and both move parsers get random bytes and
// mutated real texts in heap buffers of exactly their length, so that the
// sanitizer configuration sees any read past the terminating zero; whatever
// board the reader builds is then handed to the generators and to make-move,
// which must stay inside their tables and lists.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/gameend.h"
#include "board/notation.h"
#include "board_fixture.h"

namespace {

// Sends standard output to /dev/null while alive (diagnostics of captured
// kings and game-end lines on nonsense boards are expected and not wanted).
class SilencedStdout {
  public:
    SilencedStdout() {
        std::fflush(stdout);
        saved_ = dup(1);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            close(null);
        }
    }
    ~SilencedStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
        }
    }

  private:
    int saved_ = -1;
};

// The text in a heap block of exactly its length plus the terminating zero.
std::unique_ptr<char[]> exactCopy(const std::string& text) {
    std::unique_ptr<char[]> p(new char[text.size() + 1]);
    std::memcpy(p.get(), text.data(), text.size());
    p[text.size()] = '\0';
    return p;
}

class Fuzzer {
  public:
    explicit Fuzzer(unsigned seed) : rng_(seed) {}

    int below(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

    std::string randomBytes(int maxLen) {
        std::string s(below(maxLen + 1), '\0');
        for (char& c : s) c = static_cast<char>(1 + below(255)); // zero would only end it
        return s;
    }

    // Random text over an alphabet, so that more of it gets past the first checks.
    std::string randomFrom(const char* alphabet, int maxLen) {
        const int n = static_cast<int>(std::strlen(alphabet));
        std::string s(below(maxLen + 1), ' ');
        for (char& c : s) c = alphabet[below(n)];
        return s;
    }

    std::string mutate(std::string s) {
        const char* interesting = "pnbrqkPNBRQK0123456789/ -wbKQkqaeh\n\xff";
        for (int k = 1 + below(4); k > 0; --k) {
            const int pos = s.empty() ? 0 : below(static_cast<int>(s.size()));
            const char c = below(2) ? interesting[below(static_cast<int>(std::strlen(interesting)))]
                                    : static_cast<char>(1 + below(255));
            switch (below(6)) {
            case 0:
                if (!s.empty()) s[pos] = c;
                break;
            case 1:
                if (!s.empty()) s.erase(pos, 1 + below(3));
                break;
            case 2:
                s.insert(s.begin() + pos, c);
                break;
            case 3:
                s.resize(pos);
                break;
            case 4:
                if (!s.empty()) s.insert(pos, s.substr(below(static_cast<int>(s.size()))));
                break;
            default:
                s.insert(pos, std::to_string(rng_()));
                break;
            }
        }
        return s;
    }

  private:
    std::mt19937 rng_;
};

// What every reader after setFromFen relies on, checked without a sanitizer too.
void expectSafeBoard(const Board& b, const std::string& fen) {
    for (int sq = 0; sq < 64; ++sq)
        ASSERT_TRUE(b.squares[sq] >= PAWN && b.squares[sq] <= EMPTY) << fen;
    ASSERT_TRUE(b.toMove == WHITE || b.toMove == BLACK) << fen;
    for (int c = 0; c < 2; ++c) ASSERT_TRUE(b.kingSq[c] >= 0 && b.kingSq[c] < 64) << fen;
    if (b.enpassant != 0) {
        const int rank = b.enpassant >> 3;
        ASSERT_TRUE(b.enpassant > 0 && b.enpassant < 64) << fen;
        ASSERT_EQ(rank, b.toMove == WHITE ? 5 : 2) << "en-passant square kept on the wrong rank\n"
                                                   << fen;
    }
    ASSERT_GE(b.halfmoveClock, 0) << fen;
    ASSERT_GE(b.gamePly, 0) << fen;
    ASSERT_EQ(b.recaptureSq, 255) << fen;
    std::unique_ptr<char[]> out(new char[FEN_BUFFER_SIZE]);
    writeFen(b, out.get());
    ASSERT_LT(std::strlen(out.get()), static_cast<size_t>(FEN_BUFFER_SIZE)) << fen;
}

// The generators on a board, into heap lists; returns all pseudo-legal moves.
std::vector<Move> generateAll(const Board& b, const std::string& fen) {
    std::vector<Move> all;
    std::unique_ptr<MoveList> list(new MoveList);
    std::unique_ptr<Move[]> legal(new Move[MOVELIST_CAPACITY]);
    int n = generateLegal(b, legal.get());
    EXPECT_TRUE(n >= 0 && n < MOVELIST_CAPACITY && legal[n] == NO_MOVE) << fen;
    n = generateQuiescence(b, *list);
    EXPECT_TRUE(n >= 0 && n < MOVELIST_CAPACITY) << fen;
    n = generateOrdered(b, *list);
    EXPECT_TRUE(n >= 0 && n < MOVELIST_CAPACITY) << fen;
    n = generateCaptures(b, *list);
    EXPECT_TRUE(n >= 0 && n < MOVELIST_CAPACITY && list->moves[n] == NO_MOVE) << fen;
    for (int i = 0; i < n && i < MOVELIST_CAPACITY; ++i) all.push_back(list->moves[i]);
    n = generateQuiet(b, *list);
    EXPECT_TRUE(n >= 0 && n < MOVELIST_CAPACITY && list->moves[n] == NO_MOVE) << fen;
    for (int i = 0; i < n && i < MOVELIST_CAPACITY; ++i) all.push_back(list->moves[i]);
    inCheck(b);
    hasPieces(b);
    return all;
}

// Plays a few pseudo-legal moves (and now and then a null move) from b.
void playOn(Board b, Fuzzer& fz, const std::string& fen) {
    for (int ply = 0; ply < 3; ++ply) {
        std::vector<Move> moves = generateAll(b, fen);
        if (::testing::Test::HasFatalFailure() || moves.empty()) return;
        const Move m =
            fz.below(10) == 0 ? NULL_MOVE : moves[fz.below(static_cast<int>(moves.size()))];
        makeMove(b, m);
        leavesKingAttacked(b, m);
        for (int sq = 0; sq < 64; ++sq)
            ASSERT_TRUE(b.squares[sq] >= PAWN && b.squares[sq] <= EMPTY) << fen;
    }
    checkGameEnd(b);
}

const char* const kSeedFens[] = {
    START_FEN,
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "rnbqkbnr/pp1p1ppp/8/2pPp3/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 3",
    // Boards no game reaches.
    "QQQQQQQQ/QQQQQQQK/8/8/8/8/qqqqqqqk/qqqqqqqq w KQkq - 0 1",
    "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq b - - 0 1",
    "RNBQQBNR/QQQQQQQQ/8/3K4/3k4/8/qqqqqqqq/rnbqqbnr w - - 0 1",
    "8/8/8/8/8/8/8/8 w KQkq e3 0 1",
    "8/8/8/3Q4/8/8/8/8 b KQkq - 0 1",
    "PPPPPPPP/8/8/8/8/8/8/pppppppp w KQkq - 0 1",
    "pppppppp/PPPPPPPP/8/4k3/8/4K3/pppppppp/PPPPPPPP b - a6 0 1",
    "KKKKKKKK/8/8/8/8/8/8/kkkkkkkk w - - 0 1",
    "4k3/8/8/8/8/8/8/4K3 w - e4 0 1",
    "4k3/8/8/8/8/8/8/4K3 b - h1 0 1",
    "4k3/8/8/8/8/8/8/4K3 w - z9 0 1",
    "4k3/8/8/8/8/8/8/4K3 w - - 99999999999999999999 99999999999999999999",
    "4k3/8/8/8/8/8/8/4K3 b - - 2147483647 2147483647",
    "4k3/8/8/8/8/8/8/4K3 w - - -5 -3",
    "9/0/99999999/1/2/3 w",
    "pppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppp w",
    "rnbqkbnr",
    "",
    " ",
    "w",
    "8/8/8/8/8/8/8/8",
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkqKQkq - 0 1",
    "4k3/8/8/3pP3/8/8/8/4K3 w - d6",
    "4k3/8/8/3pP3/8/8/8/4K3 w - d",
};

const char* const kMoveTexts[] = {"e2e4", "e7e8q", "e7e8Q", "a7b8N", "Nf3",  "Ng1f3", "exd5",
                                  "Nbd7", "R1e2",  "O-O",   "o-o-o", "e8=Q", "Kxh8",  "h1a8",
                                  "0-0",  "Qd1h5", "e8",    "bxa1R", "g1f3", "d7d8r"};

TEST(Robustness, FenReaderOnRandomAndMutatedTexts) {
    ensureBoardTables();
    SilencedStdout quiet;
    Fuzzer fz(7);
    std::vector<std::string> seeds(std::begin(kSeedFens), std::end(kSeedFens));
    for (const std::string& fen : perftSuiteFens()) seeds.push_back(fen);
    Board b;
    for (int i = 0; i < 150000; ++i) {
        std::string text;
        switch (i % 4) {
        case 0:
            text = fz.randomBytes(120);
            break;
        case 1:
            text = fz.randomFrom("pnbrqkPNBRQK12345678/ wb-KQkqaeh09", 110);
            break;
        default:
            text = fz.mutate(seeds[fz.below(static_cast<int>(seeds.size()))]);
            break;
        }
        std::unique_ptr<char[]> exact = exactCopy(text);
        setFromFen(b, exact.get());
        expectSafeBoard(b, text);
        if (HasFatalFailure()) return;
        // Move generation and make-move on every third board (they cost more).
        if (i % 3 == 0) {
            playOn(b, fz, text);
            if (HasFatalFailure()) return;
        }
    }
    // The seeds themselves, unmutated, all the way through.
    for (const std::string& fen : seeds) {
        setFromFen(b, exactCopy(fen).get());
        expectSafeBoard(b, fen);
        playOn(b, fz, fen);
        if (HasFatalFailure()) return;
    }
}

TEST(Robustness, MoveParsersOnRandomAndMutatedTexts) {
    ensureBoardTables();
    SilencedStdout quiet;
    Fuzzer fz(11);
    std::vector<Board> boards;
    for (const char* fen : kSeedFens) boards.push_back(boardFrom(fen));
    for (const std::string& fen : perftSuiteFens()) boards.push_back(boardFrom(fen));
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        switch (i % 4) {
        case 0:
            text = fz.randomBytes(12);
            break;
        case 1:
            text = fz.randomFrom("abcdefgh12345678xNBRQKPOo-=+#nbrq0\n", 10);
            break;
        default:
            text = fz.mutate(kMoveTexts[fz.below(static_cast<int>(std::size(kMoveTexts)))]);
            break;
        }
        const Board& b = boards[fz.below(static_cast<int>(boards.size()))];
        std::unique_ptr<char[]> exact = exactCopy(text);
        Move coordinate = parseCoordinateMove(b, exact.get());
        Move san = parseSanMove(b, exact.get());
        // Whatever a parser returns is one of the position's legal moves.
        for (Move m : {coordinate, san}) {
            if (m == NO_MOVE) continue;
            std::vector<Move> legal = legalMoves(b);
            ASSERT_NE(std::find(legal.begin(), legal.end(), m), legal.end())
                << '"' << text << "\" gave a move that is not legal";
        }
    }
}

} // namespace
