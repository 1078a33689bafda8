// Book moves against the engine's own moves on positions of seeded random
// games, the writer's books read back through the index, and the shipped
// book rebuilt from its games.
#include <gtest/gtest.h>

#include <cstring>
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

// Positions with some of their moves and made-up counters, found through the
// index of a book of many pages; then the same book cut, bit-flipped and
// replaced by noise, and random FEN text: the reader answers, never reads
// outside a buffer (the sanitizer build runs this) and never hangs.
TEST(BookWriter, WrittenPositionsAreFoundAndDamagedBooksAnswer) {
    TempDir dir;
    const std::string name = dir.file("rt.ctg");
    const auto& fens = gamePositions();
    BookWriter writer;
    std::map<std::string, std::vector<int>> expected; // counters, then move codes
    for (std::uint32_t i = 0; i < 6000; ++i) {
        Board board;
        setFromFen(board, fens[i].c_str());
        Move legal[MOVELIST_CAPACITY];
        const int n = std::min(generateLegal(board, legal), 3 + int(i % 5));
        const BookCounters c{i, i * 7 % 1000, i == 5 ? 1u << 25 : i * 13 % 1000, i % 17};
        writer.addPosition(fens[i].c_str(), std::vector<Move>(legal, legal + n), c, int(i % 256));
        const BookBoard bb = bookBoard(fens[i]);
        // The won count saturates at 2^24 - 1.
        std::vector<int> e{int(c.total), int(c.lost), std::min(int(c.won), 0xFFFFFF), int(c.drawn)};
        for (int j = 0; j < n; ++j)
            if (codeOfMove(bb, legal[j]) >= 0) e.push_back(codeOfMove(bb, legal[j]));
        expected[keyOf(bb)] = e;
    }
    ASSERT_TRUE(writer.write(name));
    EXPECT_GT(readBytes(name).size(), 40u * BOOK_PAGE_SIZE); // many pages: groups were split
    for (std::size_t i = 0, missed = 0; i < fens.size() && missed < 2000; ++i) {
        const BookBoard bb = bookBoard(fens[i]);
        BookEntry e{}, scanned{};
        const bool stored = expected.count(keyOf(bb));
        ASSERT_EQ(findEntry(name.c_str(), bb, e), stored) << fens[i];
        if (i % 50 == 0) {
            ASSERT_EQ(scanAllPages(name.c_str(), bb, scanned) >= 0, stored) << i;
        }
        if (!stored) {
            ++missed;
            continue;
        }
        std::vector<int> found{e.totalGames, e.lostGames, e.wonGames, e.drawnGames};
        for (int k = 0; k < e.moveCount; ++k) found.push_back(e.moves[2 * k]);
        ASSERT_EQ(found, expected[keyOf(bb)]) << fens[i];
    }

    std::vector<std::uint8_t> files[3];
    const auto path = [&](int f) { return name.substr(0, name.size() - 1) + "gob"[f]; };
    for (int f = 0; f < 3; ++f) files[f] = readBytes(path(f));
    std::vector<std::string> probed(fens.begin(), fens.begin() + 30);
    const auto probeAll = [&] {
        int found = 0;
        std::FILE* sink = std::fopen("/dev/null", "w");
        for (int mode : {0, 1}) {
            TarvokBook book(3);
            book.setBookPath(name.c_str());
            book.setBestMoveOnly(mode);
            book.setOutput(BookOutput{sink, ""});
            for (const std::string& f : probed) {
                char text[BOOK_MOVE_TEXT_SIZE] = "";
                book.probeBook(f.c_str(), text);
                EXPECT_LT(std::strlen(text), sizeof text);
                found += std::strlen(text) == 4;
            }
        }
        std::fclose(sink);
        return found;
    };
    ASSERT_EQ(probeAll(), 60);
    std::mt19937 rng(11);
    for (int f = 0; f < 3; ++f) { // each file cut at many lengths
        for (std::size_t len = 0; len < std::min<std::size_t>(files[f].size(), 8300);
             len += f ? 3 : 97) {
            writeBytes(path(f), {files[f].begin(), files[f].begin() + long(len)});
            probeAll();
        }
        writeBytes(path(f), files[f]);
    }
    for (int round = 0; round < 105; ++round) {
        // Bits flipped where the reader looks (page headers, entry lengths,
        // slots, bounds), then whole files of noise.
        const int f = round % 3;
        std::vector<std::uint8_t> bytes = files[f];
        for (int k = 0; k < 1 + round % 8; ++k) {
            const std::size_t at = f ? rng() % bytes.size() : BOOK_PAGE_SIZE + rng() % 600;
            bytes[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        if (round >= 90) bytes.resize(rng() % 9000);
        for (auto& x : bytes)
            if (round >= 90) x = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0xFF : rng());
        writeBytes(path(f), bytes);
        probeAll();
        writeBytes(path(f), files[f]);
    }
    // Damaged and random FEN text against the valid book.
    const char alphabet[] = "pnbrqkPNBRQK12345678/ wb-KQkqabcdefgh0 9x";
    for (int round = 0; round < 600; ++round) {
        std::string fen = round % 2 ? fens[rng() % 30] : "";
        for (int k = 0; k < (round % 2 ? 3 : int(rng() % 120)); ++k) {
            const char c = alphabet[rng() % (sizeof alphabet - 1)];
            if (round % 2)
                fen[rng() % fen.size()] = c;
            else
                fen += c;
        }
        probed[round % 30] = fen.substr(0, rng() % (fen.size() + 1));
    }
    probeAll();
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
