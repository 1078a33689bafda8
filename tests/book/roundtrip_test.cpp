// Book moves against the engine's own moves on positions of seeded random
// games, and the writer's books read back through the index.
#include <gtest/gtest.h>

#include <set>

#include "board/notation.h"
#include "book/ctg_lookup.h"
#include "book/move_codes.h"
#include "book/tarvok_book.h"
#include "book_support.h"

using namespace book_test;

namespace {

struct Positions {
    std::vector<std::string> fens;
    std::vector<std::vector<Move>> moves; // the game's move from each, for the writer
};

const Positions& gamePositions() {
    static Positions p = [] {
        initTables();
        Positions p;
        std::mt19937 rng(20261205);
        for (int g = 0; g < 120; ++g) {
            RandomGame game = randomGame(rng, 120);
            for (std::size_t i = 0; i < game.fens.size(); ++i) p.fens.push_back(game.fens[i]);
        }
        // Endings: bare kings and pawns (mirrored positions, promotions).
        for (int g = 0; g < 60; ++g) {
            RandomGame game = randomGame(rng, 80, "4k3/pp3ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1");
            for (const std::string& f : game.fens) p.fens.push_back(f);
        }
        return p;
    }();
    return p;
}

TEST(BookMoves, EveryCodedLegalMoveDecodesToTheEngineMoveAndItsNextKey) {
    int checked = 0, promotions = 0, mirrored = 0, black = 0, enPassant = 0, castles = 0;
    for (const std::string& fen : gamePositions().fens) {
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
            char text[BOOK_MOVE_TEXT_SIZE], engine[MOVE_TEXT_SIZE];
            bookMoveText(bb, decoded, text);
            ASSERT_STREQ(text, formatMove(m, engine)) << fen << " code " << code;
            BookBoard next = bb;
            applyMove(next, decoded);
            Board after = board;
            makeMove(after, m);
            char afterFen[FEN_BUFFER_SIZE];
            writeFen(after, afterFen);
            ASSERT_EQ(keyText(next), keyText(bookBoard(afterFen))) << fen << " then " << text;
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
    EXPECT_GT(promotions, 20);
    EXPECT_GT(enPassant, 20);
    EXPECT_GT(castles, 20);
    EXPECT_GT(mirrored, 1000);
    EXPECT_GT(black, 10000);
}

TEST(BookMoves, MovesNoCodeHoldsAreTheMissingQueenStepThirdPiecesAndUnderpromotions) {
    initTables();
    // Two queens: the second may not step 0/+6 (a1 queen is Q1, the b1 one Q2).
    const char* fen = "4k3/8/8/8/8/8/4K3/QQ6 w - - 0 1";
    Board board;
    setFromFen(board, fen);
    BookBoard bb = bookBoard(fen);
    EXPECT_EQ(codeOfMove(bb, parseCoordinateMove(board, "b1h1")), -1);
    EXPECT_GE(codeOfMove(bb, parseCoordinateMove(board, "b1b7")), 0);
    EXPECT_GE(codeOfMove(bb, parseCoordinateMove(board, "a1a7")), 0);
    // A third knight has no code; an underpromotion neither.
    const char* knights = "4k3/1P6/8/8/8/8/8/NNN1K3 w - - 0 1";
    setFromFen(board, knights);
    bb = bookBoard(knights);
    EXPECT_EQ(codeOfMove(bb, parseCoordinateMove(board, "c1d3")), -1);
    EXPECT_GE(codeOfMove(bb, parseCoordinateMove(board, "b1d2")), 0);
    EXPECT_EQ(codeOfMove(bb, parseCoordinateMove(board, "b7b8N")), -1);
    EXPECT_GE(codeOfMove(bb, parseCoordinateMove(board, "b7b8Q")), 0);
}

TEST(BookWriter, WrittenPositionsAreFoundThroughTheIndexAndOthersMiss) {
    TempDir dir;
    const std::string name = dir.file("rt.ctg");
    const auto& fens = gamePositions().fens;
    BookWriter writer;
    std::map<std::string, std::pair<BookCounters, std::vector<int>>> expected;
    std::set<std::string> inBook;
    for (std::size_t i = 0; i < 6000 && i < fens.size(); i += 1) {
        const std::string& fen = fens[i];
        Board board;
        setFromFen(board, fen.c_str());
        Move legal[MOVELIST_CAPACITY];
        const int n = generateLegal(board, legal);
        std::vector<Move> moves(legal, legal + std::min(n, 3 + static_cast<int>(i % 5)));
        BookCounters c{static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i * 7 % 1000),
                       static_cast<std::uint32_t>(i * 13 % 1000),
                       static_cast<std::uint32_t>(i % 17)};
        if (i == 5) c.won = 1u << 25; // saturates
        writer.addPosition(fen.c_str(), moves, c, static_cast<int>(i % 256));
        const BookBoard bb = bookBoard(fen);
        std::vector<int> codes;
        for (Move m : moves)
            if (codeOfMove(bb, m) >= 0) codes.push_back(codeOfMove(bb, m));
        expected[keyText(bb)] = {c, codes};
        inBook.insert(keyText(bb));
    }
    ASSERT_TRUE(writer.write(name));
    const auto ctg = readBytes(name);
    ASSERT_GT(ctg.size(), 40u * BOOK_PAGE_SIZE); // many pages: groups were split
    EXPECT_LT(readBytes(dir.file("rt.ctb")).size(), 4096u);

    int found = 0;
    for (std::size_t i = 0; i < 6000 && i < fens.size(); ++i) {
        const BookBoard bb = bookBoard(fens[i]);
        BookEntry e{};
        ASSERT_EQ(findEntry(name.c_str(), bb, e), 1) << fens[i];
        const auto& [c, codes] = expected[keyText(bb)];
        ASSERT_EQ(e.moveCount, static_cast<int>(codes.size()));
        for (int k = 0; k < e.moveCount; ++k) EXPECT_EQ(e.moves[2 * k], codes[k]);
        EXPECT_EQ(e.totalGames, static_cast<int>(c.total));
        EXPECT_EQ(e.lostGames, static_cast<int>(c.lost));
        EXPECT_EQ(e.wonGames, std::min<int>(static_cast<int>(c.won), (1 << 24) - 1));
        EXPECT_EQ(e.drawnGames, static_cast<int>(c.drawn));
        BookEntry scanned{};
        EXPECT_GE(scanAllPages(name.c_str(), bb, scanned), 0);
        EXPECT_EQ(scanned.totalGames, e.totalGames);
        ++found;
    }
    int missed = 0;
    for (std::size_t i = 6000; i < fens.size(); ++i) {
        const BookBoard bb = bookBoard(fens[i]);
        if (inBook.count(keyText(bb))) continue;
        BookEntry e{};
        ASSERT_EQ(findEntry(name.c_str(), bb, e), 0) << fens[i];
        ASSERT_EQ(scanAllPages(name.c_str(), bb, e), -1);
        if (++missed == 2000) break;
    }
    EXPECT_GT(found, 5000);
    EXPECT_EQ(missed, 2000);
}

TEST(BookWriter, GamesCountForTheSideThatMovedIntoAPosition) {
    initTables();
    TempDir dir;
    const std::string name = dir.file("g.ctg");
    Board b;
    setStartPosition(b);
    auto line = [&](std::initializer_list<const char*> texts) {
        Board board;
        setStartPosition(board);
        std::vector<Move> moves;
        for (const char* t : texts) {
            moves.push_back(parseCoordinateMove(board, t));
            makeMove(board, moves.back());
        }
        return moves;
    };
    BookWriter w;
    w.addGame(line({"e2e4", "e7e5"}), GameResult::WHITE_WINS, 16);
    w.addGame(line({"e2e4", "c7c5"}), GameResult::DRAW, 16);
    w.addGame(line({"d2d4", "d7d5"}), GameResult::BLACK_WINS, 16);
    w.prune(2);
    ASSERT_TRUE(w.write(name));
    BookEntry e{};
    ASSERT_EQ(findEntry(name.c_str(), bookBoard(START_FEN), e), 1);
    EXPECT_EQ(e.moveCount, 1); // only e2e4 was played twice
    EXPECT_EQ(e.totalGames, 3);
    const std::string afterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    ASSERT_EQ(findEntry(name.c_str(), bookBoard(afterE4), e), 1);
    EXPECT_EQ(e.wonGames, 1); // White, who moved into it, won one
    EXPECT_EQ(e.drawnGames, 1);
    EXPECT_EQ(e.lostGames, 0);
    EXPECT_EQ(e.moveCount, 0); // e7e5 and c7c5 once each
    EXPECT_EQ(findEntry(name.c_str(),
                        bookBoard("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1"),
                        e),
              0);
}

} // namespace
