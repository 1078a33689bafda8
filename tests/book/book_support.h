// Helpers of the book tests: scratch directories, file bytes, and the output
// a call writes.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "board/tables.h"
#include "tools/book/book_writer.h"

namespace book_test {

inline void initTables() {
    static Board board;
    [[maybe_unused]] static const bool done = (initBoardTables(nullptr, board), true);
}

inline BookBoard bookBoard(const std::string& fen) {
    BookBoard b{};
    readFen(fen.c_str(), b, BookOutput{stderr, ""});
    return b;
}

// A directory of its own under /tmp, removed at the end.
struct TempDir {
    char path[32] = "/tmp/tarvok_book_XXXXXX";
    TempDir() { mkdtemp(path); }
    ~TempDir() { std::system(("rm -rf '" + std::string(path) + "'").c_str()); }
    std::string file(const std::string& name) const { return path + ("/" + name); }
};

inline std::vector<std::uint8_t> readBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::string& name, const std::vector<std::uint8_t>& v) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(v.data()), long(v.size()));
}

// What f writes to the stream it is given.
template <class F> std::string captured(F f) {
    char* buf = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buf, &size);
    f(stream);
    std::fclose(stream);
    std::string out(buf, size);
    std::free(buf);
    return out;
}

} // namespace book_test
