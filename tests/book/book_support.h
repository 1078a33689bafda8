// Helpers of the book tests: positions of seeded random games, scratch
// directories, file bytes, and the output a call writes.
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
    Board b;
    if (!done) initBoardTables(nullptr, b);
    done = true;
}

// The positions of a game of random legal moves from fen (the one after the
// last move too) and its moves. It leans to pawn moves, so promotions, en
// passant and mirrored endings occur.
inline std::vector<std::string> randomGame(std::mt19937& rng, int plies, const char* fen,
                                           std::vector<Move>* moves = nullptr) {
    initTables();
    std::vector<std::string> fens;
    Board b;
    setFromFen(b, fen);
    char text[FEN_BUFFER_SIZE];
    for (int ply = 0; ply <= plies; ++ply) {
        writeFen(b, text);
        fens.push_back(text);
        Move legal[MOVELIST_CAPACITY];
        const int n = ply < plies ? generateLegal(b, legal) : 0;
        if (n == 0) break;
        Move m = legal[rng() % n];
        if (rng() % 3 == 0)
            for (int i = 0; i < n; ++i)
                if (b.squares[moveFrom(legal[i])] == PAWN && rng() % 2) m = legal[i];
        if (moves) moves->push_back(m);
        makeMove(b, m);
    }
    return fens;
}

inline BookBoard bookBoard(const std::string& fen) {
    BookBoard b{};
    readFen(fen.c_str(), b, BookOutput{stderr, ""});
    return b;
}

// A directory of its own under /tmp, removed at the end.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/tarvok_book_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

inline std::vector<std::uint8_t> readBytes(const std::string& name) {
    std::vector<std::uint8_t> v;
    if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) v.push_back(static_cast<std::uint8_t>(c));
        std::fclose(f);
    }
    return v;
}

inline void writeBytes(const std::string& name, const std::vector<std::uint8_t>& v) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    std::fwrite(v.data(), 1, v.size(), f);
    std::fclose(f);
}

// What f writes to the stream it is given.
template <class F> std::string captured(F f) {
    std::FILE* tmp = std::tmpfile();
    f(tmp);
    std::rewind(tmp);
    std::string out;
    for (int c; (c = std::fgetc(tmp)) != EOF;) out += static_cast<char>(c);
    std::fclose(tmp);
    return out;
}

} // namespace book_test
