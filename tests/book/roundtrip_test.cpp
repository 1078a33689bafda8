// Book moves against the engine's own moves on positions of seeded random
// games, the writer's books read back through the index, and the shipped
// book rebuilt from its games.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "book/ctg_lookup.h"
#include "book/move_codes.h"
#include "book/tarvok_book.h"
#include "book_support.h"
#include "tools/book/pgn_reader.h"

using namespace book_test;

namespace {

// Positions of seeded random games that lean to pawn moves (promotions, en
// passant), from the start and from a pawn ending (mirrored positions).
const std::vector<std::string>& gamePositions() {
    static const std::vector<std::string> fens = [] {
        initTables();
        std::vector<std::string> all;
        std::mt19937 rng(20261205);
        char text[FEN_BUFFER_SIZE];
        for (int g = 0; g < 150; ++g) {
            Board b;
            setFromFen(b, g % 3 ? START_FEN : "4k3/pp3ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1");
            for (int ply = 0; ply <= (g % 3 ? 120 : 80); ++ply) {
                writeFen(b, text);
                all.push_back(text);
                Move legal[MOVELIST_CAPACITY];
                const int n = generateLegal(b, legal);
                if (n == 0) break;
                Move m = legal[rng() % n];
                for (int i = 0, pawns = rng() % 3 == 0; pawns && i < n; ++i)
                    if (b.squares[moveFrom(legal[i])] == PAWN && rng() % 2) m = legal[i];
                makeMove(b, m);
            }
        }
        return all;
    }();
    return fens;
}

// Every coded legal move of the positions (the games hold more than 20
// promotions, en-passant captures and castlings each, and thousands of
// mirrored and Black-to-move positions) decodes to the engine's move text and
// leads to the key of the position after it.
TEST(BookMoves, EveryCodedLegalMoveDecodesToTheEngineMoveAndItsNextKey) {
    int checked = 0;
    for (const std::string& fen : gamePositions()) {
        Board board;
        setFromFen(board, fen.c_str());
        const BookBoard bb = bookBoard(fen);
        Move legal[MOVELIST_CAPACITY];
        const int n = generateLegal(board, legal);
        for (int i = 0; i < n; ++i) {
            const int code = codeOfMove(bb, legal[i]);
            BookMove decoded;
            if (code < 0) continue;
            ASSERT_TRUE(decodeMove(bb, code, decoded)) << fen;
            char text[BOOK_MOVE_TEXT_SIZE], engine[MOVE_TEXT_SIZE], after[FEN_BUFFER_SIZE];
            bookMoveText(bb, decoded, text);
            ASSERT_STREQ(text, formatMove(legal[i], engine)) << fen << " code " << code;
            BookBoard next = bb;
            applyMove(next, decoded);
            Board played = board;
            makeMove(played, legal[i]);
            writeFen(played, after);
            ASSERT_EQ(keyOf(next), keyOf(bookBoard(after))) << fen << " then " << text;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 417507);
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
        // Bits flipped where the reader looks: page headers, entry lengths, slots, bounds.
        const int f = round % 3;
        std::vector<std::uint8_t> bytes = files[f];
        for (int k = 0; k < 1 + round % 8; ++k) {
            const std::size_t at = f ? rng() % bytes.size() : BOOK_PAGE_SIZE + rng() % 600;
            bytes[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        if (round >= 90) bytes.resize(rng() % 9000); // noise
        for (auto& x : bytes) x = round < 90 ? x : std::uint8_t(rng() % 4 ? rng() : 0xFF);
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
        if (round % 30 == 29) probeAll();
    }
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
