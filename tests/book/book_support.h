// Helpers of the book tests: positions from seeded random games, scratch
// books written by the writer, and captured output of the book's messages.
#pragma once

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "book/book_board.h"
#include "tools/book/book_writer.h"

namespace book_test {

inline void initTables() {
    static bool done = false;
    if (done) return;
    Board b;
    initBoardTables(nullptr, b);
    done = true;
}

struct RandomGame {
    std::vector<Move> moves;
    std::vector<std::string> fens; // before each move, and after the last
};

// A game of random legal moves from fen; it leans to pawn pushes and king
// moves now and then, so promotions, en passant and mirrored endings occur.
inline RandomGame randomGame(std::mt19937& rng, int plies, const char* fen = START_FEN) {
    RandomGame g;
    Board b;
    setFromFen(b, fen);
    char text[FEN_BUFFER_SIZE];
    for (int ply = 0; ply < plies; ++ply) {
        writeFen(b, text);
        g.fens.push_back(text);
        Move legal[MOVELIST_CAPACITY];
        const int n = generateLegal(b, legal);
        if (n == 0) return g;
        Move m = legal[rng() % n];
        if (rng() % 3 == 0) { // prefer a pawn move when there is one
            for (int i = 0; i < n; ++i)
                if (b.squares[moveFrom(legal[i])] == PAWN && rng() % 2) m = legal[i];
        }
        g.moves.push_back(m);
        makeMove(b, m);
    }
    writeFen(b, text);
    g.fens.push_back(text);
    return g;
}

inline BookBoard bookBoard(const std::string& fen) {
    BookBoard b{};
    BookOutput quiet{stderr, ""};
    readFen(fen.c_str(), b, quiet);
    return b;
}

inline std::string keyText(const BookBoard& b) {
    return keyOf(b);
}

// A directory of its own under /tmp, removed at the end.
class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/tarvok_book_XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Output written to a temporary stream by f.
template <class F> std::string captured(F f) {
    std::FILE* tmp = std::tmpfile();
    f(tmp);
    std::fflush(tmp);
    std::rewind(tmp);
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, tmp)) > 0) out.append(buf, n);
    std::fclose(tmp);
    return out;
}

inline std::vector<std::uint8_t> readBytes(const std::string& name) {
    std::vector<std::uint8_t> v;
    if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) v.push_back(static_cast<std::uint8_t>(c));
        std::fclose(f);
    }
    return v;
}

inline void writeBytes(const std::string& name, const std::vector<std::uint8_t>& v) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!v.empty()) std::fwrite(v.data(), 1, v.size(), f);
    std::fclose(f);
}

} // namespace book_test
