// The opening book in play, in both protocols: a book move is played at once
// when the engine must move; analysis, infinite and ponder searches, a book
// that is off or incomplete, and a stored move that is not legal all search.
#include <gtest/gtest.h>

#include "board/tables.h"
#include "book/book_board.h"
#include "book/ctg_lookup.h"
#include "book/move_codes.h"
#include "engine_driver.h"
#include "tools/book/book_writer.h"

namespace {

using namespace testing_engine;

const char* kAfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";

// An engine whose folder holds t.ctg: a2a3 from the start position, a7a6
// after e2e4.
class BookEngine : public Engine {
  public:
    explicit BookEngine(const std::string& settings) : Engine(settings) {
        Board b;
        initBoardTables(nullptr, b);
        BookWriter w;
        w.addPosition(START_FEN, {makeMoveCode(squareOf(0, 1), squareOf(0, 2))}, {}, 0);
        w.addPosition(kAfterE4, {makeMoveCode(squareOf(0, 6), squareOf(0, 5))}, {}, 0);
        EXPECT_TRUE(w.write(dir.file("t.ctg")));
    }
    // The move the engine answers the commands with (either protocol).
    std::string answer(const Lines& commands, const std::string& prefix = "bestmove ") {
        const std::string line = until(commands, prefix).back();
        return line.substr(prefix.size(), line.find(' ', prefix.size()) - prefix.size());
    }
    std::size_t probes(const std::string& prefix = "probe TarvokBook: t.ctg") {
        return withPrefix(p->transcript(), prefix).size();
    }
};

TEST(BookPlay, XboardPlaysTheBookMoveForEitherSideAnalysisAndIllegalMovesSearch) {
    BookEngine e("pref:book-path=t.ctg\n");
    e.xboard();
    EXPECT_EQ(e.answer({"new", "st 1", "go"}, "move "), "a2a3");
    EXPECT_EQ(e.answer({"new", "force", "e2e4", "go"}, "move "), "a7a6");
    EXPECT_EQ(e.probes(), 2u);
    // Out of the book, and in analysis, a search answers.
    EXPECT_EQ(
        e.answer({"force", "sd 3", "setboard 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "go"}, "move "),
        "e2e4");
    e.until({"force", "new", "post", "analyze"}, " 1  ");
    e->send("exit");
    EXPECT_EQ(withPrefix(e.sync(), "move "), Lines{});
    EXPECT_EQ(e.probes(), 3u); // the set-up position was looked up, the analysis not
    e.quit();
    BookEngine off("pref:book-path=t.ctg\npref:enable_BOOK=0\n");
    off.xboard();
    EXPECT_EQ(off.answer({"new", "sd 3", "go"}, "move "), "e2e4");
    EXPECT_EQ(off.probes(), 0u);
    // The start position holding c1d2 (code 0x2E, B1 +1/+1): on its own pawn.
    BookEngine i("pref:book-path=i.ctg\n");
    BookBoard start;
    readFen(START_FEN, start);
    std::vector<std::uint8_t> entry(start.huffmanKey, start.huffmanKey + start.keyLength);
    entry.insert(entry.end(), {3, 0x2E, 0});
    entry.resize(entry.size() + BOOK_STATS_SIZE, 0);
    BookWriter w;
    w.addRawEntry(entry);
    ASSERT_TRUE(w.write(i.dir.file("i.ctg")));
    i.xboard();
    EXPECT_EQ(i.answer({"new", "sd 3", "go"}, "move "), "e2e4");
    EXPECT_EQ(i.probes("probe TarvokBook: i.ctg"), 1u);
}

TEST(BookPlay, UciPlaysTheBookMoveNeverInInfiniteOrPonderSearchesAndTheShippedBook) {
    BookEngine e("");
    e.uci({"setoption name BookPath value t.ctg"});
    EXPECT_EQ(e.answer({"position startpos", "go wtime 60000 btime 60000"}), "a2a3");
    EXPECT_EQ(e.probes("info string probe TarvokBook: t.ctg"), 1u);
    EXPECT_EQ(e.answer({"position startpos moves e2e4", "go movetime 1000"}), "a7a6");
    e.send({"position startpos", "go infinite"});
    e->expectPrefix("info depth 3");
    EXPECT_NE(e.answer({"stop"}), "a2a3");
    e.until({"setoption name Ponder value true", "go ponder", "isready"}, "readyok");
    EXPECT_NE(e.answer({"stop"}), "a2a3");
    // A ponder hit is the engine's own move, whatever the last go searched.
    EXPECT_EQ(e.answer({"go ponder", "ponderhit"}), "a2a3");
    EXPECT_NE(e.answer({"setoption name OwnBook value false", "go depth 3"}), "a2a3");
    e.quit();
    // The book built with the engine, found by its default name, answers at
    // once (no search) with its best move.
    Engine shipped;
    shipped.uci();
    EXPECT_EQ(shipped.until({"position startpos", "go movetime 2000"}, "bestmove ", 1000ms),
              (Lines{"start thinkAndMakeBestMove", "info string probe TarvokBook: bookTarvok.ctg",
                     "===========time next move: 1850 ms===========", "bestmove e2e4"}));
    shipped.quit();
}

} // namespace
