// The xboard dialogue as a GUI sees it: features, the state each command
// leaves (the board the engine prints, the budget of its next move), the
// thinking lines, refusals, and the commands that act while it searches.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

const std::regex kFen("[1-8pnbrqkPNBRQK/]+ [wb] [KQkq-]+ [a-h1-8-]+ \\d+ \\d+");
const std::string kPrompt = "===== Start Pondering";

// The FEN line that ends the last board print among lines ("" if none).
std::string lastFen(const Lines& lines) {
    auto l = std::find_if(lines.rbegin(), lines.rend(),
                          [](auto& l) { return std::regex_match(l, kFen); });
    return l == lines.rend() ? "" : *l;
}

TEST(Xboard, FeaturesUnknownCommandsNumbersAndTheSettingsEcho) {
    Engine e("pref:printToScreen=1\npref:VALPAWN=-5\npref:VALQUEEN=999999\npref:VALROOK=0x10\n");
    Lines lines = e.xboard();
    EXPECT_EQ(withPrefix(lines, "feature"),
              (Lines{"feature done=0", "feature myname=\"Tarvok_v8.05 (32 bit)\"",
                     "feature sigint=0", "feature sigterm=0", "feature variants=normal",
                     "feature ping=1", "feature setboard=1", "feature done=1"}));
    // The echo shows the values used, not the texts read.
    Lines echo = withPrefix(lines, "   VAL");
    echo.resize(3); // pawn, queen, rook
    EXPECT_EQ(echo, (Lines{"   VALPAWN:  1", "   VALQUEEN: 100000", "   VALROOK:  0"}));
    e.send(
        {"usermove e2e4", "O-O", "name fairymax", "remove", "ping 0x10", "ping inf", "ping 12.9"});
    EXPECT_EQ(e.sync(),
              (Lines{"Error: (unknown command):usermove e2e4", "", "Error: (unknown command):O-O",
                     "", "Error: (unknown command):name fairymax", "",
                     "Error: (unknown command):remove", "", "pong 0", "pong 0", "pong 12"}));
}

TEST(Xboard, CommandsLeaveTheirStateAndActWhileItSearches) {
    Engine e("pref:enable_BOOK=0\n");
    e.xboard(); // thinking is shown from the start: every change prints the board
    auto fenAfter = [&](const std::string& command) {
        e->send(command);
        return lastFen(e.sync());
    };
    EXPECT_EQ(fenAfter("new"), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    e.send({"force", "e2e4"});
    EXPECT_EQ(
        e.sync(),
        (Lines{"", "r n b q k b n r ", "p p p p p p p p ", ". . . . . . . . ", ". . . . . . . . ",
               ". . . . P . . . ", ". . . . . . . . ", "P P P P . P P P ", "R N B Q K B N R ",
               "toMove=black  castle=KQkq  enpassant=e3  eval=30  lazy=0  "
               "wMat=3900  bMat=3900",
               "boardkey= 1447625151",
               "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "", ""}));
    // A fixed-depth search, line for line.
    Lines lines = withoutTimes(e.until({"sd 3", "go"}, "move "));
    EXPECT_EQ(
        Lines(std::find(lines.begin(), lines.end(), "start thinkAndMakeBestMove"), lines.end()),
        (Lines{"start thinkAndMakeBestMove", "===========time next move: 4850 ms===========",
               " 1  -26  _  1 a7a6 ", " 1  -25  _  3 b7b6 ", " 1  -15  _  6 d7d6 ",
               " 1  -7  _  8 e7e6 ", " 1  0  _  17 e7e5 ", " 2  -26  _  60 e7e5 b1c3 ",
               " 3  0  _  271 e7e5 b1c3 b8c6 ", " Nodes=389", " foundmove=e7e5", "", "move e7e5"}));
    e->send("force");
    EXPECT_EQ(fenAfter("undo"), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(fenAfter("undo"), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    // Refusals leave the game as it was.
    e.send({"undo", "e2e5", "setboard 8/8/8/8/8/8/8/K7 w - - 0 1",
            "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNP w KQkq - 0 1"});
    EXPECT_EQ(e.sync(),
              (Lines{"Cannot undo!", "Error (ambiguous move): e2e5", "",
                     "Error (illegal position): 8/8/8/8/8/8/8/K7 w - - 0 1",
                     "Error (illegal position): rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNP w "
                     "KQkq - 0 1"}));
    EXPECT_EQ(fenAfter("d2d4"), "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1");
    // Sides: "black" and "white" set the side to move, which the next move must be.
    const std::string kpk = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
    EXPECT_EQ(fenAfter("setboard " + kpk), kpk);
    e->send("black");
    EXPECT_EQ(fenAfter("e8d8"), "3k4/8/8/8/8/8/4P3/4K3 w - - 1 1");
    e.send({"black", "e2e3"});
    EXPECT_EQ(e.sync(), (Lines{"Error (ambiguous move): e2e3", ""}));
    EXPECT_EQ(fenAfter("d8e8"), "4k3/8/8/8/8/8/4P3/4K3 w - - 2 2");
    e->send("white");
    EXPECT_EQ(fenAfter("e2e3"), "4k3/8/8/8/8/4P3/8/4K3 b - - 0 2");
    // Clocks and levels: the budget of the next move.
    auto budget = [&](Lines commands) {
        commands.insert(commands.begin(), {"force", "setboard " + kpk});
        commands.push_back("go");
        const std::string line = e.until(commands, "===========time next move: ").back();
        e->send("?"); // the budget is all this wants: move now
        return e->expectPrefix("move ") ? line : "";
    };
    e->send("sd 63");
    EXPECT_EQ(budget({"st 2"}), "===========time next move: 1850 ms===========");
    EXPECT_EQ(budget({"level 40 5 0", "time 12000", "otim 6000"}),
              "===========time next move: 2850 ms===========");
    // "go" makes the engine White after its clocks came as Black's.
    EXPECT_EQ(
        budget({"new", "force", "setboard " + kpk, "level 40 5 0", "time 12000", "otim 6000"}),
        "===========time next move: 2850 ms===========");
    EXPECT_EQ(budget({"level 0 2 3", "time 12000"}),
              "===========time next move: 6850 ms===========");
    EXPECT_EQ(withPrefix(e->transcript(), "moves="),
              (Lines{"moves=40 starttime=300000 inc=0", "moves=40 starttime=300000 inc=0",
                     "moves=0 starttime=120000 inc=3000"}));
    // The engine's promotion is upper case.
    EXPECT_EQ(
        e.until({"force", "setboard 1q5k/P7/8/8/8/8/8/K7 w - - 0 1", "sd 3", "go"}, "move ").back(),
        "move a7b8Q");
    // Junk of every kind, one command a line: the engine answers after it.
    for (const char* junk : {"", " ", "level", "level 40", "time", "otim", "st", "st ", "sd",
                             "sd 99999999999", "ping", "setboard", "setboard ", "a1", "h8h9",
                             "e7e8K", "time 99999999999", "level 0 99999999999 99999999999"})
        e->send(junk);
    e.send({std::string(20000, 'x'), "force"});
    e.sync(20000ms);
    // Self-play, pondering and analysis read their input while they search.
    // White mates in one: self-play makes that move and stops at the mate.
    e.send({"force", "setboard 7k/5Q2/6K1/8/8/8/8/8 w - - 0 1", "auto"});
    e->expectLine("1-0 {white mates}");
    EXPECT_EQ(withPrefix(e->drain(), "move "), Lines{"move f7g7"});
    // The hint is the reply the table expects to the engine's move.
    e.until({"new", "force", "sd 3", "go"}, "move ");
    EXPECT_EQ(e.until({"hint"}, "hint: ").back(), "hint: e7e5");
    // "?" ends a self-play move, force ends self-play, new starts over.
    e.until({"new", "sd 63", "nopost", "auto"}, "move ");
    e.until({"?"}, "move ", 3000ms);
    e->expectPrefix("move ", 3000ms);
    e->send("force");
    e.sync();
    EXPECT_EQ(withPrefix(e->drain(1500ms), "move "), Lines{}) << "self-play after force";
    e.until({"auto"}, "move ", 3000ms);
    e.send({"new", "post", "e2e4"});
    e->expectLine("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 3000ms);
    // Pondered longer than 80 % of the budget, the hit plays at once; after a
    // miss the engine searches afresh.
    for (bool hit : {true, false}) {
        e.until({"force", "new", "hard", "st 1", "e2e4"}, "move ", 10000ms);
        auto start = e->expectPrefix(kPrompt + " moveGuess=");
        ASSERT_TRUE(start);
        const std::string guess = start->substr(kPrompt.size() + 11, 4);
        e->drain(1200ms);
        e->send(hit ? guess : guess == "d2d4" ? "g1f3" : "d2d4");
        e->waitFor([](auto& l) { return std::regex_match(l, kFen); });
        e->takeLines();
        e->expectPrefix("move ", 10000ms);
        Lines lines = e->takeLines();
        EXPECT_EQ(withPrefix(lines, " 1  ").empty(), hit) << e->transcriptText();
    }
    // Analysis follows the moves and undo, and exit ends it.
    e.send({"force", "new"});
    for (const char* c : {"analyze", "e2e4", "undo"}) e.until({c}, kPrompt);
    e->send("exit");
    e.sync();
    EXPECT_EQ(e->drain(500ms), Lines{}) << "analysis after exit";
    // playother: the engine takes the side not on move; "?" moves now.
    e.send({"e2e4", "st 60", "playother", "e7e5"});
    e->drain(300ms);
    auto move = e.until({"?"}, "move ", 3000ms);
    EXPECT_TRUE(std::regex_match(move.back(), std::regex("move [a-h][1-4][a-h][1-8]")))
        << move.back();
    // quit during self-play ends the engine within a move.
    e->send("auto");
    e->expectPrefix("move ", 3000ms);
    e.quit();
}

} // namespace
