// Book moves against the engine's own moves on positions of seeded random
// games, the writer's books read back through the index, and the shipped
// book rebuilt from its games.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "board/notation.h"
#include "book/ctg_lookup.h"
#include "book/move_codes.h"
#include "book/tarvok_book.h"
#include "book_support.h"
#include "tools/book/pgn_reader.h"

using namespace book_test;

namespace {

const std::vector<std::string>& gamePositions() {
    static const std::vector<std::string> fens = [] {
        std::vector<std::string> all;
        std::mt19937 rng(20261205);
        for (int g = 0; g < 150; ++g) {
            // Games from the start, and pawn endings (mirrored positions, promotions).
            const auto game = g % 3
                                  ? randomGame(rng, 120, START_FEN)
                                  : randomGame(rng, 80, "4k3/pp3ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1");
            all.insert(all.end(), game.begin(), game.end());
        }
        return all;
    }();
    return fens;
}

TEST(BookMoves, EveryCodedLegalMoveDecodesToTheEngineMoveAndItsNextKey) {
    int checked = 0, promotions = 0, mirrored = 0, black = 0, enPassant = 0, castles = 0;
    for (const std::string& fen : gamePositions()) {
        Board board;
        setFromFen(board, fen.c_str());
        const BookBoard bb = bookBoard(fen);
        Move legal[MOVELIST_CAPACITY];
        const int n = generateLegal(board, legal);
        for (int i = 0; i < n; ++i) {
            const Move m = legal[i];
            const int code = codeOfMove(bb, m);
            if (code < 0) continue;
            BookMove decoded;
            ASSERT_TRUE(decodeMove(bb, code, decoded)) << fen;
            char text[BOOK_MOVE_TEXT_SIZE], engine[MOVE_TEXT_SIZE], after[FEN_BUFFER_SIZE];
            bookMoveText(bb, decoded, text);
            ASSERT_STREQ(text, formatMove(m, engine)) << fen << " code " << code;
            BookBoard next = bb;
            applyMove(next, decoded);
            Board played = board;
            makeMove(played, m);
            writeFen(played, after);
            ASSERT_EQ(keyOf(next), keyOf(bookBoard(after))) << fen << " then " << text;
            ++checked;
            promotions += movePromo(m) != 0;
            enPassant += board.squares[moveFrom(m)] == PAWN && board.squares[moveTo(m)] == EMPTY &&
                         (moveFrom(m) & 7) != (moveTo(m) & 7);
            castles += code == CODE_CASTLE_KING_SIDE || code == CODE_CASTLE_QUEEN_SIDE;
            mirrored += bb.mirrored;
            black += bb.flipped;
        }
    }
    EXPECT_GT(checked, 100000);
    EXPECT_GT(std::min({promotions, enPassant, castles}), 20);
    EXPECT_GT(std::min(mirrored, black), 1000);
    // No code holds the second queen's 0/+6, a third knight, or an underpromotion.
    for (auto [fen, move, code] : {std::tuple{"4k3/8/8/8/8/8/4K3/QQ6 w - - 0 1", "b1h1", -1},
                                   {"4k3/8/8/8/8/8/4K3/QQ6 w - - 0 1", "a1a7", 154},
                                   {"4k3/1P6/8/8/8/8/8/NNN1K3 w - - 0 1", "c1d3", -1},
                                   {"4k3/1P6/8/8/8/8/8/NNN1K3 w - - 0 1", "b7b8N", -1},
                                   {"4k3/1P6/8/8/8/8/8/NNN1K3 w - - 0 1", "b7b8Q", 236}}) {
        Board board;
        setFromFen(board, fen);
        EXPECT_EQ(codeOfMove(bookBoard(fen), parseCoordinateMove(board, move)), code) << move;
    }
}

TEST(BookWriter, WrittenPositionsAreFoundThroughTheIndexAndOthersMiss) {
    TempDir dir;
    const std::string name = dir.file("rt.ctg");
    const auto& fens = gamePositions();
    BookWriter writer;
    std::map<std::string, std::pair<BookCounters, std::vector<int>>> expected;
    for (std::size_t i = 0; i < 6000; ++i) {
        Board board;
        setFromFen(board, fens[i].c_str());
        Move legal[MOVELIST_CAPACITY];
        const int n = std::min(generateLegal(board, legal), 3 + static_cast<int>(i % 5));
        const std::uint32_t k = static_cast<std::uint32_t>(i);
        BookCounters c{k, k * 7 % 1000, i == 5 ? 1u << 25 : k * 13 % 1000, k % 17};
        writer.addPosition(fens[i].c_str(), std::vector<Move>(legal, legal + n), c, k % 256);
        const BookBoard bb = bookBoard(fens[i]);
        std::vector<int> codes;
        for (int j = 0; j < n; ++j)
            if (codeOfMove(bb, legal[j]) >= 0) codes.push_back(codeOfMove(bb, legal[j]));
        expected[keyOf(bb)] = {c, codes};
    }
    ASSERT_TRUE(writer.write(name));
    EXPECT_GT(readBytes(name).size(), 40u * BOOK_PAGE_SIZE); // many pages: groups were split
    EXPECT_LT(readBytes(dir.file("rt.ctb")).size(), 4096u);
    for (std::size_t i = 0; i < 6000; ++i) {
        const BookBoard bb = bookBoard(fens[i]);
        BookEntry e{};
        ASSERT_EQ(findEntry(name.c_str(), bb, e), 1) << fens[i];
        const auto& [c, codes] = expected[keyOf(bb)];
        ASSERT_EQ(e.moveCount, static_cast<int>(codes.size()));
        for (int k = 0; k < e.moveCount; ++k) EXPECT_EQ(e.moves[2 * k], codes[k]);
        // The won count saturates at 2^24 - 1.
        const int won = std::min<int>(static_cast<int>(c.won), (1 << 24) - 1);
        EXPECT_EQ(std::vector<int>({e.totalGames, e.lostGames, e.wonGames, e.drawnGames}),
                  std::vector<int>({int(c.total), int(c.lost), won, int(c.drawn)}));
        BookEntry scanned{};
        if (i % 50 == 0) {
            EXPECT_GE(scanAllPages(name.c_str(), bb, scanned), 0);
            EXPECT_EQ(scanned.totalGames, e.totalGames);
        }
    }
    for (std::size_t i = 6000, missed = 0; i < fens.size() && missed < 2000; ++i) {
        const BookBoard bb = bookBoard(fens[i]);
        if (expected.count(keyOf(bb))) continue;
        BookEntry e{};
        ASSERT_EQ(findEntry(name.c_str(), bb, e), 0) << fens[i];
        if (++missed % 100 == 0) {
            ASSERT_EQ(scanAllPages(name.c_str(), bb, e), -1);
        }
    }
}

// Rebuilding the shipped book from the committed games reproduces its bytes.
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
    for (const PgnGame& g : games) w.addGame(g.moves, g.result, 16, g.fen.c_str());
    w.prune(2);
    TempDir dir;
    ASSERT_TRUE(w.write(dir.file("bookTarvok.ctg")));
    for (const char* ext : {"ctg", "cto", "ctb"})
        EXPECT_EQ(readBytes(dir.file(std::string("bookTarvok.") + ext)),
                  readBytes(data + "bookTarvok." + ext))
            << ext;
}

} // namespace
