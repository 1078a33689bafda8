// The UCI dialogue as a GUI sees it: the exact texts, the option phase, the
// budget and thinking lines of each go, one bestmove per go whatever ends
// it, pondering, and refused input that leaves the game as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

const Lines kIdentification = {"id name Tarvok_v8.05 (32 bit)_UCI",
                               "id author Dorvane",
                               "option name number_of_processors type spin min 0 max 8 default 0",
                               "option name Hash type spin min 1 max 4096 default 64",
                               "option name OwnBook type check default true",
                               "option name BookBestMoveOnly type check default true",
                               "option name BookPath type string default bookTarvok.ctg",
                               "option name EGTB type check default true",
                               "option name NalimovPath type string default d:\\chess\\egtb4",
                               "option name NalimovCache type spin 1 min 1 max 256 default 32",
                               "option name Ponder type check default false",
                               "option name Extentions type check default true",
                               "option name Null-move Pruning type check default true",
                               "option name Late-move Pruning type check default true",
                               "option name Futility Pruning type check default true",
                               "option name print_Inverted_Score type check default false",
                               "option name DrawScore type spin min -900 max 900 default -50",
                               "option name Queen type spin min -100 max 2000 default 900",
                               "option name Rook type spin min -100 max 1000 default 500",
                               "option name Bishop type spin min -100 max 900 default 300",
                               "option name Knight type spin min -100 max 900 default 300",
                               "option name Pawn type spin min -100 max 900 default 100",
                               "uciok"};

// Refused input (options, positions, junk) leaves the game as it was.
TEST(Uci, OptionPhaseThinkingLinesBudgetsAndRefusedInput) {
    Engine e;
    // isready ends the option phase: the settings file is written then, and
    // the same line in the command loop changes nothing.
    Lines lines = e.uci({"setoption name Hash value 128", "setoption name OwnBook value false",
                         "setoption name Hash value", "setoption name"});
    lines.resize(kIdentification.size()); // what follows is the option phase's end
    EXPECT_EQ(lines, kIdentification);
    const std::string written = e.dir.read("tarvok init.ini");
    EXPECT_NE(written.find("\npref:size-hashtable=128   (in MB)\n"), written.npos) << written;
    e.until({"setoption name Hash value 256", "isready"}, "readyok");
    EXPECT_EQ(e.dir.read("tarvok init.ini"), written);
    // A fixed-depth search, line for line (the book is off).
    EXPECT_EQ(
        withoutTimes(e.until({"position startpos moves e2e4", "go depth 4"}, "bestmove ")),
        (Lines{"start thinkAndMakeBestMove", "===========time next move: 99999849 ms===========",
               "info depth 1 score cp -26 time _ nodes 1 nps _ pv a7a6 ",
               "info depth 1 score cp -25 time _ nodes 3 nps _ pv b7b6 ",
               "info depth 1 score cp -15 time _ nodes 6 nps _ pv d7d6 ",
               "info depth 1 score cp -7 time _ nodes 8 nps _ pv e7e6 ",
               "info depth 1 score cp 0 time _ nodes 17 nps _ pv e7e5 ",
               "info depth 2 score cp -26 time _ nodes 60 nps _ pv e7e5 b1c3 ",
               "info depth 3 score cp 0 time _ nodes 271 nps _ pv e7e5 b1c3 b8c6 ",
               "info depth 4 score cp -26 time _ nodes 563 nps _ pv e7e5 b1c3 b8c6 g1f3 ",
               " Nodes=1017", " foundmove=e7e5", "", "bestmove e7e5"}));
    // Each go's budget comes from its own words and the clock of the side
    // to move; even a spent budget plays a searched move.
    const std::tuple<const char*, const char*, int> budgets[] = {
        {"", "go wtime 100 btime 100 winc 100 binc 100", 50},
        {"", "go movetime 1", 0},
        {"", "go movetime 10", 5},
        {"", "go wtime 60000 btime 50000 winc 1000 binc 500", 2850},
        {" moves e2e4", "go wtime 60000 btime 50000 winc 1000 binc 2000", 3516},
        {" moves e2e4 e7e5", "go wtime 60000 btime 1000 movestogo 20", 2850},
    };
    for (const auto& [moves, go, ms] : budgets) {
        lines = e.until({std::string("position startpos") + moves, go}, "bestmove ");
        const std::string budget = "===========time next move: " + std::to_string(ms) + " ms";
        EXPECT_EQ(std::make_pair(withPrefix(lines, budget).size(),
                                 withPrefix(lines, "info depth 1 ").empty()),
                  std::make_pair(std::size_t{1}, false))
            << go << "\n"
            << linesText(lines);
    }
    // Refused positions leave the game as it was; promotions are lower case.
    e->send("position fen 4k3/8/8/8/8/8/8/4K2R b - - 0 1 moves e8d7");
    for (const char* bad : {"8/8/8/8/8/8/8/K7 w - - 0 1 moves a1a2",
                            "4k2R/8/8/8/8/8/8/4K3 w - - 0 1", "rnbqkbnr/pppppppp/8/8/8/8/8 w"})
        e->send(std::string("position fen ") + bad);
    EXPECT_EQ(withPrefix(e.sync(), "info string"),
              (Lines{"info string Error (illegal position): 8/8/8/8/8/8/8/K7 w - - 0 1 moves a1a2",
                     "info string Error (illegal position): 4k2R/8/8/8/8/8/8/4K3 w - - 0 1",
                     "info string Error (illegal position): rnbqkbnr/pppppppp/8/8/8/8/8 w"}));
    EXPECT_EQ(e.until({"go depth 2"}, "bestmove ").back(), "bestmove h1h6");
    e->expectLine("8/3k4/7R/8/8/8/8/4K3 b - - 2 2");
    lines = e.until({"position fen 1q5k/P7/8/8/8/8/8/K7 w - - 0 1", "go depth 3"}, "bestmove ");
    EXPECT_EQ(lines.back(), "bestmove a7b8q");
    EXPECT_EQ(withPrefix(lines, " foundmove="), Lines{" foundmove=a7b8q"});
    // Junk of every kind, one command a line: the engine answers after it.
    e.send({"", " ", "go wtime", "go depth", "go movestogo -5 wtime -10", "position",
            "position fen", "position fen ", "position startpos moves",
            "position startpos moves e2e4 zz", "setoption name Hash value 1",
            std::string(20000, 'x'), "stop"});
    e.sync(20000ms);
    e.quit();
}

// Every go gets exactly one bestmove, before any output of the next search,
// whatever command ends it; isready is answered while a search runs.
TEST(Uci, PonderAndEveryGoGetsExactlyOneBestmove) {
    Engine e;
    e.uci({"setoption name Ponder value true", "setoption name OwnBook value false"});
    EXPECT_EQ(e.until({"position startpos moves e2e4", "go depth 3"}, "bestmove ").back(),
              "bestmove e7e5 ponder b1c3");
    // go ponder prints nothing until the GUI says ponderhit.
    e.send({"position startpos moves e2e4 e7e5 g1f3", "go ponder wtime 2000 btime 2000"});
    EXPECT_FALSE(e->waitForPrefix("bestmove", 500ms));
    e->send("ponderhit");
    e->expectPrefix("bestmove ");
    // stop ends a ponder search at once, also straight after go ponder.
    for (auto wait : {0ms, 300ms}) {
        e.send(
            {"position startpos moves e2e4 e7e5 g1f3 b8c6", "go ponder wtime 60000 btime 60000"});
        e->drain(wait);
        e->send("stop");
        auto best = e->expectPrefix("bestmove ", 3000ms);
        EXPECT_TRUE(best && (*best)[10] >= '1' && (*best)[10] <= '4') << "a move of White";
        e.sync();
    }
    // Pondered longer than 80 % of the budget (the ponder go's 100 ms: 50 ms
    // a move, not the last go's lack of a limit), a hit plays at once, and
    // the board after the move is shown.
    e.until({"position startpos", "go depth 1"}, "bestmove ");
    e.send({"position startpos moves e2e4 e7e5", "go ponder movetime 100"});
    e->drain(400ms);
    Lines lines = e.until({"ponderhit"}, "bestmove ");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.end()[-2], "===========time next move: 50 ms===========")
        << "searched after the hit";
    e->expectPrefix("toMove=black  castle=KQkq");
    // isready during a search; the goes from here on are counted.
    const std::size_t from = e->transcript().size();
    e.send({"position startpos moves e2e4 e7e5", "go infinite", "isready"});
    EXPECT_EQ(e->waitFor([](auto& l) { return l == "readyok" || l.starts_with("bestmove"); }),
              "readyok");
    e->drain(300ms);
    e->send("stop");
    e->expectPrefix("bestmove ", 3000ms);
    for (const std::string next : {"position startpos", "ucinewgame", "isready", "go infinite"}) {
        e.send({"position startpos moves e2e4", "go infinite", next, "stop"});
        if (next == "isready") e->expectLine("readyok");
        e.sync();
    }
    // Many go/stop pairs sent without waiting.
    e->send("position startpos");
    for (int i = 0; i < 100; ++i) e.send({"go movetime 60000", "stop"});
    e.sync(10000ms);
    e->send("go infinite");
    e->send("quit"); // ends the search with its bestmove too
    e->drain();
    EXPECT_EQ(e->waitExit(5000ms), 0);
    int gos = 0, answers = 0;
    for (const std::string& l : Lines(e->transcript().begin() + from, e->transcript().end())) {
        gos += l == "start thinkAndMakeBestMove";
        answers += l.starts_with("bestmove ");
        ASSERT_TRUE(answers == gos || answers + 1 == gos) << "one bestmove per go, in order";
    }
    EXPECT_EQ(std::make_pair(gos, answers), std::make_pair(6 + 100 + 1, 6 + 100 + 1));
}

} // namespace
