// The shipped book is exactly what its games give: rebuilding it from the
// committed PGN reproduces the committed bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "book_support.h"
#include "tools/book/pgn_reader.h"

using namespace book_test;

TEST(ShippedBook, RebuildingFromItsGamesGivesTheSameBytes) {
    initTables();
    const std::string data = std::string(TARVOK_DATA_DIR) + "/../../book/data/";
    std::ifstream in(data + "selfplay.pgn");
    ASSERT_TRUE(in) << data;
    std::stringstream text;
    text << in.rdbuf();
    const std::vector<PgnGame> games = readPgn(text.str());
    ASSERT_EQ(games.size(), 300u);
    BookWriter w;
    for (const PgnGame& g : games) {
        ASSERT_TRUE(g.finished);
        w.addGame(g.moves, g.result, 16, g.fen.c_str());
    }
    w.prune(2);
    TempDir dir;
    ASSERT_TRUE(w.write(dir.file("bookTarvok.ctg")));
    std::size_t total = 0;
    for (const char* ext : {"ctg", "cto", "ctb"}) {
        const auto built = readBytes(dir.file(std::string("bookTarvok.") + ext));
        EXPECT_EQ(built, readBytes(data + "bookTarvok." + ext)) << ext;
        total += built.size();
    }
    EXPECT_LT(total, 256u * 1024);
}
