// The opening book: position keys and FEN messages, the move codes against the engine's moves,
// the writer's books read back through the index and damaged, the shipped book, and the probe's
// scores, choices and answers to positions and books it cannot use.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <tuple>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/tables.h"
#include "book/move_codes.h"
#include "book/tarvok_book.h"
#include "tools/book/book_writer.h"
#include "tools/book/pgn_reader.h"

namespace {

const char* E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";

void initTables() {
    static Board board;
    [[maybe_unused]] static const bool done = (initBoardTables(nullptr, board), true);
}

BookBoard bookBoard(const std::string& fen) {
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

std::vector<std::uint8_t> readBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::string& name, const std::vector<std::uint8_t>& v) {
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

// A book of the start position with e2e4 then d2d4, and the positions after
// them with the given counters (total, lost, won, drawn) and flags.
void twoMoveBook(std::string name, BookCounters e4, int e4Flag, BookCounters d4, int d4Flag) {
    initTables();
    Board b;
    setFromFen(b, START_FEN);
    BookWriter w;
    w.addPosition(START_FEN, {parseCoordinateMove(b, "e2e4"), parseCoordinateMove(b, "d2d4")},
                  {10, 0, 0, 0}, 0);
    w.addPosition(E4, {}, e4, e4Flag);
    w.addPosition("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1", {}, d4, d4Flag);
    EXPECT_TRUE(w.write(name));
}

// "result text|output" of one probe.
std::string probe(TarvokBook& book, const char* fen) {
    char text[BOOK_MOVE_TEXT_SIZE] = "";
    int result = -1;
    const std::string out = captured([&](std::FILE* f) {
        book.setOutput({f, "# "}), result = book.probeBook(fen, text);
    });
    return std::to_string(result) + " " + text + "|" + out;
}

TEST(BookFormat, KeysFenMessagesHashMoveCodesAndTheShippedBookRebuiltByteForByte) {
    const std::string start = START_FEN, illegal = "# ERROR: Illegal fen\n",
                      tooMany = "# ERROR: too many characters in fen\n";
    const std::string rows[][2] = {
        {START_FEN, "56b60f7960f3a60f58b078e0c1e1a60f5960f3b60f7f"},
        {"4k3/8/8/8/8/8/4P3/3K4 w - - 0 1", "0b00000060430000000000"}, // mirrored: Ke1, Pd2
        {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "0b00000000830210000000"},
        {"r3k3/8/8/8/8/8/8/3K4 w q - 0 1", "4c0170000800008400000004"}, // a right: no mirror
        {"2k5/8/8/8/8/8/8/5K2 b - - 0 1", "0b00000108000400000000"},    // Black's king mirrors
        {"5k2/8/8/8/8/8/8/2K5 b - - 0 1", "0b00000108000400000000"},    // no mirror, same key
        {"r3k2r/8/8/8/4P3/8/8/R3K2R b KQkq e3 0 1", "4db017000000807210000b017f"}, // no ep pawn
        {"r3k2r/8/8/8/3pP3/8/8/R3K2R b KQkq e3 0 1", "6eb01700000c201c840002c05c4f"},
        {"r3k2r/8/8/8/4Pp2/8/8/R3K2R b KQkq e3 0 1", "6eb017000000807210c002c05c4f"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b Qk - 0 1", "4db017000000800840002c05c6"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Qk - 0 1", "4db017000000800840002c05c9"},
        {"4k3/8/8/3pP2P/8/8/8/4K3 w - i6 0 1", "0c0000000e20188400003000"}, // i: no file
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "2c0000000e20188400000003"},
        {"4k3/8/8/2Pp4/8/8/8/2K5 w - d6 0 1", "2c00000001087100c0000004"}, // mirrored: file e
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", "0b00000000800840000000"},       // 74 bits padded
        {"4k3/8/8/8/8/8/P2P3P/4K3 w - - 0 1", "0c6000001808008400018000"}, // 80: zero byte
        {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", "4c00000000800840002c0002"},
        {"rnbqkbnr/ppppXppp" + start.substr(17), "# ERROR: illegal character in fen\n"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1", tooMany},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1", tooMany},
        {" " + start, tooMany},
        {start.substr(0, 44) + "x" + start.substr(45), illegal},
        {start.substr(0, 43), illegal},
        {start.substr(0, 50), illegal},
    };
    for (auto& [fen, expected] : rows) {
        const std::string out = captured([&](std::FILE* f) {
            BookBoard b;
            if (readFen(fen.c_str(), b, BookOutput{f, "# "}))
                for (int i = 0; i < b.keyLength; ++i) std::fprintf(f, "%02x", b.huffmanKey[i]);
        });
        EXPECT_EQ(out, expected) << fen;
    }
    const BookBoard b = bookBoard("4k3/8/8/8/8/8/8/4K3 b - - 0 1"); // the writer hashes alike
    EXPECT_EQ(bookHash(b.huffmanKey, b.keyLength), 0x08A7729Eu);
    // The 256 move codes (piece letter, number among its kind, rank and file
    // steps) are those of the book format: any changed entry changes the digest.
    std::uint32_t digest = 2166136261u;
    for (int code = 0; code < 256; ++code) {
        const MoveCode& c = moveCodeEntry(code);
        for (int v : {int(c.letter), c.number, c.rankStep, c.fileStep})
            digest = (digest ^ std::uint32_t(v)) * 16777619u;
    }
    EXPECT_EQ(digest, 0x0AA7E049u);
    // The shipped book rebuilds from its games byte for byte.
    initTables();
    const std::string data = std::string(TARVOK_DATA_DIR) + "/../../book/data/";
    const auto pgn = readBytes(data + "selfplay.pgn");
    BookWriter w;
    for (const PgnGame& g : readPgn(std::string(pgn.begin(), pgn.end())))
        w.addGame(g.moves, g.result, 16, g.fen.c_str());
    w.prune(2);
    TempDir dir;
    ASSERT_TRUE(w.write(dir.file("bookTarvok.ctg")));
    for (const std::string ext : {"ctg", "cto", "ctb"})
        EXPECT_EQ(readBytes(dir.file("bookTarvok." + ext)), readBytes(data + "bookTarvok." + ext));
}

// Every coded legal move of random games' positions (over 20 promotions, en
// passant captures and castlings each; thousands mirrored or Black to move)
// decodes to the engine's move text and leads to the next position's key. The
// first 6000 positions, with some moves and made-up counters, make a book of
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
            const int n = generateLegal(b, legal), k = int(fens.size()) - 1;
            const BookCounters c{k * 2777u, k * 7u % 1000, k * 13u % 1000, k % 17u};
            std::vector<int> entry{int(c.total), int(c.lost), int(c.won), int(c.drawn)};
            for (int i = 0; i < n; ++i) {
                const int code = codeOfMove(bb, legal[i]);
                BookMove decoded;
                if (code < 0) continue;
                if (i < 3 + k % 5) entry.push_back(code);
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
                writer.addPosition(fen, {legal, legal + std::min(n, 3 + k % 5)}, c, k % 256);
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
        ASSERT_TRUE(i % 50 || (scanAllPages(name.c_str(), bb, scanned) >= 0) == in) << i;
        std::vector<int> found{e.totalGames, e.lostGames, e.wonGames, e.drawnGames};
        for (int k = 0; k < e.moveCount; ++k) found.push_back(e.moves[2 * k]);
        ASSERT_TRUE(!in || found == stored[keyOf(bb)]) << fens[i];
    }

    // The book cut, bit-flipped where the reader looks (page headers, entry lengths, slots,
    // bounds) and replaced by noise, and random FEN text: the reader answers, never reads
    // outside a buffer (the sanitizer build runs this) and never hangs.
    std::vector<std::uint8_t> files[3];
    const auto path = [&](int f) { return name.substr(0, name.size() - 1) + "gob"[f]; };
    for (int f = 0; f < 3; ++f) files[f] = readBytes(path(f));
    std::vector<std::string> probed(fens.begin(), fens.begin() + 30);
    const auto probeAll = [&] { // in both modes; the moves found
        int found = 0;
        for (int i = 0; i < 60; ++i) {
            TarvokBook book(3);
            book.setBookPath(name.c_str()), book.setBestMoveOnly(i % 2);
            found += probe(book, probed[i / 2].c_str()).find('|') == 6;
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
    for (int round = 0; round < 600; ++round) { // damaged FENs and random text
        std::string fen = round % 2 ? fens[rng() % 30] : std::string(rng() % 120, ' ');
        for (std::size_t k = 0; k < (round % 2 ? 3 : fen.size()); ++k)
            fen[round % 2 ? rng() % fen.size() : k] = alphabet[rng() % (sizeof alphabet - 1)];
        probed[round % 30] = fen.substr(0, rng() % (fen.size() + 1));
        if (round % 30 == 29) probeAll();
    }
}

TEST(BookProbe, ChoicesOfBothModesByScoreThresholdAndShunningAndTheProcessGenerator) {
    initTables();
    const int a = rand15(), b = rand15(), c = rand15();
    const std::string e(40, 'e'), d(40, 'd'), coin = "ddeedeeeeedddddddededeedeedeeddedededdde";
    const std::tuple<BookCounters, int, BookCounters, int, std::string, std::string> rows[] = {
        // won + drawn / 2: 12 against 3; the weighted draw is r % 16.
        {{20, 6, 10, 4}, 0, {5, 2, 3, 0}, 0, "eedeeeedeeeeeeeeeeeeeedeeddeeeedeedeeeee", e},
        // A move counts from a twentieth of the best: 6 does against 100, 4 not.
        {{100, 0, 100, 0}, 0, {6, 0, 6, 0}, 0, "eeeeedeedeeeeeeedeeeeeeeeeeeeeeeeeeeeeee", e},
        {{100, 0, 100, 0}, 0, {4, 0, 4, 0}, 0, e, e},
        // Only losses score 0, no games 1.
        {{3, 3, 0, 0}, 0, {0, 0, 0, 0}, 0, coin, d},
        // Flags 0x40-0x7F shun a move; when all are shunned only the best-move mode answers.
        {{2, 1, 1, 0}, 0x80, {99, 0, 99, 0}, 0x40, e, e},
        {{1, 0, 1, 0}, 0x7F, {1, 0, 1, 0}, 0x40, std::string(40, '-'), coin},
        // Equal scores: the best-move mode draws among them.
        {{9, 0, 8, 2}, 0, {9, 0, 9, 0}, 0, "ededddeeedeeededddeeddeeeddededeeeeededd", coin},
    };
    for (const auto& [e4, e4Flag, d4, d4Flag, weighted, best] : rows) {
        TempDir dir;
        twoMoveBook(dir.file("two.ctg"), e4, e4Flag, d4, d4Flag);
        // The moves of books warmed up by 0 .. 39 draws (- for none); -1 and 2 mean modes 0 and 1.
        std::string chosen[2];
        for (int warm = 0; warm < 80; ++warm) {
            TarvokBook book(warm / 2);
            book.setBookPath(dir.file("two.ctg").c_str()), book.setBestMoveOnly(warm % 2 ? 2 : -1);
            const std::string p = probe(book, START_FEN);
            chosen[warm % 2] += p[0] != '1' ? '?' : p[2] == '|' ? '-' : p[2];
        }
        EXPECT_EQ(chosen[0], weighted) << weighted;
        EXPECT_EQ(chosen[1], best) << weighted;
    }
    { TarvokBook clocked; }
    Rand15 r;
    int x = r.next(), y = r.next(), z = r.next();
    for (int i = 0; i < 1 << 22 && !(x == a && y == b && z == c); ++i) x = y, y = z, z = r.next();
    ASSERT_TRUE(x == a && y == b && z == c);
    EXPECT_EQ(rand15(), r.next());
}

TEST(BookProbe, ResultsAndMessagesOfPositionsAndBooksItCannotUse) {
    TempDir dir;
    const std::string name = dir.file("two.ctg"), said = "|# probe TarvokBook: " + name + "\n";
    twoMoveBook(name, {5, 0, 5, 0}, 0, {1, 0, 1, 0}, 0);
    TarvokBook book(0);
    book.setBookPath((name + " # a comment\n").c_str());
    EXPECT_EQ(probe(book, START_FEN), "1 e2e4" + said);
    EXPECT_EQ(probe(book, "4k3/8/8/8/8/8/8/4K3 w - - 0 1"), "0 noMove\n" + said);
    EXPECT_EQ(probe(book, "4k3/8/8/8/8/8/8/4K3 v - - 0 1"), "0 " + said + "# ERROR: Illegal fen\n");
    EXPECT_EQ(probe(book, E4), "1 " + said); // stored without moves
    // A short .ctb, then no .cto: not found.
    const auto ctb = readBytes(dir.file("two.ctb"));
    writeBytes(dir.file("two.ctb"), {ctb.begin(), ctb.begin() + 11});
    EXPECT_EQ(probe(book, START_FEN), "0 noMove\n" + said);
    writeBytes(dir.file("two.ctb"), ctb);
    EXPECT_EQ(probe(book, START_FEN), "1 e2e4" + said);
    std::remove(dir.file("two.cto").c_str());
    EXPECT_EQ(probe(book, START_FEN), "0 noMove\n" + said);
    book.setBookPath("%s%n%d"); // printed as it is
    EXPECT_EQ(probe(book, START_FEN), "0 noMove\n|# probe TarvokBook: %s%n%d\n");

    // Entries that lie about their sizes. 60 moves, of which 50 are kept; none decodes (0x1F stands
    // for no move, the castling code is the 60th), so the position has no book move.
    const std::string raw = dir.file("raw.ctg"), key = keyOf(bookBoard(START_FEN));
    std::vector<std::uint8_t> entry(key.begin(), key.end());
    entry.push_back(1 + 2 * 60);
    for (int i = 0; i < 60; ++i) entry.push_back(i == 59 ? 0x6B : 0x1F), entry.push_back(0);
    entry.resize(entry.size() + BOOK_STATS_SIZE);
    BookWriter w;
    w.addRawEntry(entry);
    ASSERT_TRUE(w.write(raw));
    BookEntry e{};
    EXPECT_EQ(findEntry(raw.c_str(), bookBoard(START_FEN), e) * 100 + e.moveCount, 150);
    book.setBookPath(raw.c_str());
    EXPECT_EQ(probe(book, START_FEN), "1 |# probe TarvokBook: " + raw + "\n");
    // Pages whose bytes end where a next entry starts, inside its key, and inside its moves.
    const auto page = readBytes(raw);
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t size = 4 + (k < 2 ? entry.size() + k : key.size() + 100);
        std::vector<std::uint8_t> p(&page[BOOK_PAGE_SIZE], &page[BOOK_PAGE_SIZE + size]);
        p[0] = 0, p[1] = k < 2 ? 2 : 1;
        if (k) p[k == 1 ? size - 1 : 4 + key.size()] = k == 1 ? 0x16 : 0xFF;
        EXPECT_EQ(searchPage(p.data(), int(size), bookBoard(k < 2 ? E4 : START_FEN), e), 0) << k;
    }
}

} // namespace
