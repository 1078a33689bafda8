// Book moves against the engine's own moves on positions of seeded random
// games, the writer's books read back through the index and then damaged,
// and the shipped book rebuilt from its games.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "book/move_codes.h"
#include "book/tarvok_book.h"
#include "book_support.h"
#include "tools/book/pgn_reader.h"

using namespace book_test;

namespace {

// Every coded legal move of positions of random games (they lean to pawn
// moves: over 20 promotions, en-passant captures and castlings each, and
// thousands of mirrored and Black-to-move positions) decodes to the engine's
// move text and leads to the key of the position after it. The first 6000
// positions, with some of their moves and made-up counters, make a book of
// many pages whose index finds each of them and no other position.
TEST(BookMoves, CodedMovesDecodeToTheEngineMovesAndWrittenPositionsAreFound) {
    initTables();
    std::mt19937 rng(20261205);
    std::vector<std::string> fens;
    std::map<std::string, std::vector<int>> stored; // counters, then move codes
    BookWriter writer;
    int checked = 0;
    for (int g = 0; g < 150; ++g) {
        Board b;
        setFromFen(b, g % 3 ? START_FEN : "4k3/pp3ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1");
        for (int ply = 0; ply <= (g % 3 ? 120 : 80); ++ply) {
            char fen[FEN_BUFFER_SIZE], after[FEN_BUFFER_SIZE];
            writeFen(b, fen);
            fens.push_back(fen);
            const BookBoard bb = bookBoard(fen);
            Move legal[MOVELIST_CAPACITY];
            const int n = generateLegal(b, legal);
            const std::uint32_t k = std::uint32_t(fens.size() - 1);
            std::vector<int> entry{int(k), int(k * 7 % 1000), int(k * 13 % 1000), int(k % 17)};
            for (int i = 0; i < n; ++i) {
                const int code = codeOfMove(bb, legal[i]);
                BookMove decoded;
                if (code < 0) continue;
                if (i < 3 + int(k % 5)) entry.push_back(code);
                ASSERT_TRUE(decodeMove(bb, code, decoded)) << fen;
                char text[BOOK_MOVE_TEXT_SIZE], engine[MOVE_TEXT_SIZE];
                bookMoveText(bb, decoded, text);
                ASSERT_STREQ(text, formatMove(legal[i], engine)) << fen << " code " << code;
                BookBoard next = bb;
                applyMove(next, decoded);
                Board played = b;
                makeMove(played, legal[i]);
                writeFen(played, after);
                ASSERT_EQ(keyOf(next), keyOf(bookBoard(after))) << fen << " then " << text;
                ++checked;
            }
            if (k < 6000) {
                const BookCounters c{k, k * 7 % 1000, k == 5 ? 1u << 25 : k * 13 % 1000, k % 17};
                writer.addPosition(fen, {legal, legal + std::min(n, 3 + int(k % 5))}, c, k % 256);
                if (k == 5) entry[2] = 0xFFFFFF; // the won count saturates
                stored[keyOf(bb)] = entry;
            }
            if (n == 0) break;
            Move m = legal[rng() % n];
            for (int i = 0, pawns = rng() % 3 == 0; pawns && i < n; ++i)
                if (b.squares[moveFrom(legal[i])] == PAWN && rng() % 2) m = legal[i];
            makeMove(b, m);
        }
    }
    EXPECT_EQ(checked, 417507);

    TempDir dir;
    const std::string name = dir.file("rt.ctg");
    ASSERT_TRUE(writer.write(name));
    EXPECT_GT(readBytes(name).size(), 40u * BOOK_PAGE_SIZE); // many pages: groups were split
    for (std::size_t i = 0; i < 8000; ++i) {
        const BookBoard bb = bookBoard(fens[i]);
        BookEntry e{}, scanned{};
        const bool in = stored.count(keyOf(bb));
        ASSERT_EQ(findEntry(name.c_str(), bb, e), in) << fens[i];
        if (i % 50 == 0) {
            ASSERT_EQ(scanAllPages(name.c_str(), bb, scanned) >= 0, in) << i;
        }
        std::vector<int> found{e.totalGames, e.lostGames, e.wonGames, e.drawnGames};
        for (int k = 0; k < e.moveCount; ++k) found.push_back(e.moves[2 * k]);
        ASSERT_TRUE(!in || found == stored[keyOf(bb)]) << fens[i];
    }

    // The book cut, bit-flipped where the reader looks (page headers, entry
    // lengths, slots, bounds) and replaced by noise, and random FEN text: the
    // reader answers, never reads outside a buffer (the sanitizer build runs
    // this) and never hangs.
    std::vector<std::uint8_t> files[3];
    const auto path = [&](int f) { return name.substr(0, name.size() - 1) + "gob"[f]; };
    for (int f = 0; f < 3; ++f) files[f] = readBytes(path(f));
    std::vector<std::string> probed(fens.begin(), fens.begin() + 30);
    std::FILE* sink = std::fopen("/dev/null", "w");
    const auto probeAll = [&] { // in both modes; the moves found
        int found = 0;
        for (int i = 0; i < 60; ++i) {
            TarvokBook book(3);
            book.setBookPath(name.c_str());
            book.setBestMoveOnly(i % 2);
            book.setOutput(BookOutput{sink, ""});
            char text[BOOK_MOVE_TEXT_SIZE] = "";
            book.probeBook(probed[i / 2].c_str(), text);
            EXPECT_LT(std::strlen(text), sizeof text);
            found += std::strlen(text) == 4;
        }
        return found;
    };
    ASSERT_EQ(probeAll(), 60);
    for (int round = 0; round < 300; ++round) {
        const int f = round % 3, kind = round / 100; // cut, flipped, noise
        std::vector<std::uint8_t> bytes = files[f];
        if (kind == 0) bytes.resize(rng() % std::min<std::size_t>(bytes.size(), 2 * 4096 + 64));
        for (int k = 0; kind == 1 && k < 1 + round % 8; ++k)
            bytes[f ? rng() % bytes.size() : 4096 + rng() % 600] ^= std::uint8_t(1u << rng() % 8);
        if (kind == 2) bytes.resize(rng() % 9000);
        for (auto& x : bytes) x = kind < 2 ? x : std::uint8_t(rng() % 4 ? rng() : 0xFF);
        writeBytes(path(f), bytes);
        probeAll();
        writeBytes(path(f), files[f]);
    }
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
        if (round % 30 == 29) probeAll();
    }
    std::fclose(sink);
}

// Rebuilding the shipped book from the committed games reproduces its bytes.
TEST(ShippedBook, RebuildingFromItsGamesGivesTheSameBytes) {
    initTables();
    const std::string data = std::string(TARVOK_DATA_DIR) + "/../../book/data/";
    const auto pgn = readBytes(data + "selfplay.pgn");
    const std::vector<PgnGame> games = readPgn(std::string(pgn.begin(), pgn.end()));
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
