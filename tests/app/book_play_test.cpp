// The opening book in play, in both protocols: a book move is played at once
// when the engine must move; analysis, infinite and ponder searches, a book
// that is off or incomplete, and a stored move that is not legal all search.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "board/tables.h"
#include "book/book_board.h"
#include "book/ctg_lookup.h"
#include "book/move_codes.h"
#include "engine_driver.h"
#include "tools/book/book_writer.h"

namespace {

using namespace testing_engine;

const char* AFTER_E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";

bool startsWith(const std::string& s, const std::string& p) {
    return s.rfind(p, 0) == 0;
}

// Writes dir/t.ctg: the start position with a2a3 and the position after
// e2e4 with a7a6.
void writeTestBook(const ScratchDir& dir) {
    Board b;
    initBoardTables(nullptr, b);
    BookWriter w;
    const Move a2a3 = makeMoveCode(squareOf(0, 1), squareOf(0, 2));
    const Move a7a6 = makeMoveCode(squareOf(0, 6), squareOf(0, 5));
    w.addPosition(START_FEN, {a2a3}, {}, 0);
    w.addPosition(AFTER_E4, {a7a6}, {}, 0);
    ASSERT_TRUE(w.write(dir.file("t.ctg")));
}

class BookEngine {
  public:
    explicit BookEngine(const std::string& settings = "pref:book-path=t.ctg\n") {
        writeTestBook(dir);
        if (!settings.empty()) dir.write("tarvok init.ini", settings);
        process = std::make_unique<EngineProcess>(dir.path());
        EXPECT_TRUE(process->waitForPrefix("Choose mode: Type xboard or uci"));
    }
    void startXboard() {
        process->send("xboard");
        process->send("protover 2");
        ASSERT_TRUE(process->waitForPrefix("feature done=1"));
        process->send("new");
        process->send("st 1");
        process->send("ping 1");
        ASSERT_TRUE(process->waitFor([](const std::string& l) { return l == "pong 1"; }));
        process->takeLines();
    }
    void startUci(const std::vector<std::string>& options) {
        process->send("uci");
        for (const std::string& o : options) process->send(o);
        process->send("isready");
        ASSERT_TRUE(process->waitFor([](const std::string& l) { return l == "readyok"; }, 20000ms));
        process->takeLines();
    }
    // The move of the next "move " line (xboard).
    std::string xboardMove() {
        auto line = process->waitForPrefix("move ", 5000ms);
        return line ? line->substr(5) : "(no move line within 5 s)";
    }
    std::string bestmove(Duration timeout = 5000ms) {
        auto line = process->waitForPrefix("bestmove ", timeout);
        return line ? line->substr(9, line->find(' ', 9) - 9) : "(no bestmove within 5 s)";
    }
    bool probed() const {
        for (const std::string& l : process->transcript())
            if (l.find("probe TarvokBook: ") != std::string::npos) return true;
        return false;
    }

    ScratchDir dir;
    std::unique_ptr<EngineProcess> process;
};

TEST(BookPlay, XboardPlaysTheBookMoveForEitherSide) {
    BookEngine e;
    e.startXboard();
    e.process->send("go");
    EXPECT_EQ(e.xboardMove(), "a2a3");
    EXPECT_TRUE(e.process->waitFor(
                    [](const std::string& l) { return l == "probe TarvokBook: t.ctg"; }, 100ms) ||
                e.probed());
    e.process->send("new");
    e.process->send("force");
    e.process->send("e2e4");
    e.process->send("go");
    EXPECT_EQ(e.xboardMove(), "a7a6");
    // Out of the book: a search answers.
    e.process->send("force");
    e.process->send("setboard 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    e.process->send("go");
    EXPECT_NE(e.xboardMove(), "a2a3");
    e.process->send("quit");
    EXPECT_EQ(e.process->waitExit(), 0);
}

TEST(BookPlay, XboardAnalysisAndABookOffSearch) {
    BookEngine e("pref:book-path=t.ctg\npref:enable_BOOK=0\n");
    e.startXboard();
    e.process->send("go");
    const std::string move = e.xboardMove();
    EXPECT_NE(move, "a2a3");
    EXPECT_FALSE(e.probed());

    BookEngine a;
    a.startXboard();
    a.process->send("post");
    a.process->send("analyze");
    EXPECT_TRUE(a.process->waitFor(
        [](const std::string& l) {
            return l.find(" 1 ") != std::string::npos || startsWith(l, " 1");
        },
        3000ms));
    a.process->send("exit");
    a.process->send("ping 2");
    EXPECT_TRUE(a.process->waitFor([](const std::string& l) { return l == "pong 2"; }, 3000ms));
    EXPECT_FALSE(a.probed());
    for (const std::string& l : a.process->transcript()) EXPECT_FALSE(startsWith(l, "move ")) << l;
}

TEST(BookPlay, UciPlaysTheBookMoveAndNeverInInfiniteOrPonderSearches) {
    BookEngine e("");
    e.startUci({"setoption name BookPath value t.ctg"});
    e.process->send("position startpos");
    e.process->send("go wtime 60000 btime 60000");
    EXPECT_EQ(e.bestmove(), "a2a3");
    bool prefixed = false;
    for (const std::string& l : e.process->transcript())
        prefixed |= l == "info string probe TarvokBook: t.ctg";
    EXPECT_TRUE(prefixed);
    e.process->send("position startpos moves e2e4");
    e.process->send("go movetime 1000");
    EXPECT_EQ(e.bestmove(), "a7a6");

    e.process->takeLines();
    e.process->send("position startpos");
    e.process->send("go infinite");
    EXPECT_TRUE(e.process->waitForPrefix("info depth", 3000ms));
    e.process->send("stop");
    EXPECT_NE(e.bestmove(), "a2a3");
    e.process->send("setoption name Ponder value true");
    e.process->send("position startpos");
    e.process->send("go ponder");
    e.process->send("isready");
    EXPECT_TRUE(e.process->waitFor([](const std::string& l) { return l == "readyok"; }, 3000ms));
    e.process->send("stop");
    EXPECT_NE(e.bestmove(), "a2a3");
    e.process->send("setoption name OwnBook value false");
    e.process->send("position startpos");
    e.process->send("go movetime 300");
    EXPECT_NE(e.bestmove(), "a2a3");
    e.process->send("quit");
    EXPECT_EQ(e.process->waitExit(), 0);
}

TEST(BookPlay, AMissingIndexOrAnIllegalStoredMoveSearches) {
    BookEngine e("");
    std::remove(e.dir.file("t.cto").c_str());
    e.startUci({"setoption name BookPath value t.ctg"});
    e.process->send("position startpos");
    e.process->send("go movetime 300");
    EXPECT_NE(e.bestmove(), "a2a3");
    EXPECT_FALSE(e.probed());

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
    i.startXboard();
    i.process->send("go");
    const std::string move = i.xboardMove();
    EXPECT_NE(move, "c1d2");
    EXPECT_EQ(move.size(), 4u);
    EXPECT_TRUE(i.probed());
}

TEST(BookPlay, TheShippedBookAnswersFromAFreshDirectory) {
    const std::string shipped = std::string(TARVOK_BINARY_DIR) + "/bookTarvok.ctg";
    BookBoard start;
    readFen(START_FEN, start);
    BookEntry entry{};
    ASSERT_EQ(findEntry(shipped.c_str(), start, entry), 1) << shipped;
    ScratchDir dir;
    EngineProcess p(dir.path());
    ASSERT_TRUE(p.waitForPrefix("Choose mode: Type xboard or uci"));
    p.send("uci");
    p.send("isready");
    ASSERT_TRUE(p.waitFor([](const std::string& l) { return l == "readyok"; }, 20000ms));
    p.send("position startpos");
    p.send("go movetime 2000");
    auto probe = p.waitForPrefix("info string probe TarvokBook: ", 3000ms);
    ASSERT_TRUE(probe);
    EXPECT_EQ(*probe, "info string probe TarvokBook: bookTarvok.ctg");
    auto best = p.waitForPrefix("bestmove ", 1000ms); // no search: at once
    ASSERT_TRUE(best);
    // The move is one the book stores for the start position.
    std::set<std::string> stored;
    for (int k = 0; k < entry.moveCount; ++k) {
        BookMove m;
        if (!decodeMove(start, entry.moves[2 * k], m)) continue;
        char text[8];
        bookMoveText(start, m, text);
        stored.insert(text);
    }
    EXPECT_TRUE(stored.count(best->substr(9))) << *best;
    p.send("quit");
    EXPECT_EQ(p.waitExit(), 0);
}

} // namespace
