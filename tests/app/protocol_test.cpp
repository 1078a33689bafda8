// The engine's dialogue as a GUI sees it: exact texts of both protocols,
// answers that must come while a search runs, and the refusal of positions
// the search cannot play from.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

bool startsWith(const std::string& s, const std::string& p) {
    return s.rfind(p, 0) == 0;
}

const std::regex kUciMove("[a-h][1-8][a-h][1-8][nbrq]?");
const std::regex kXboardMove("[a-h][1-8][a-h][1-8][NBRQ]?");

// An engine in a fresh directory that has answered the prompt.
class Engine {
  public:
    explicit Engine(const std::string& settings = "") {
        if (!settings.empty()) dir.write("tarvok init.ini", settings);
        process = std::make_unique<EngineProcess>(dir.path());
        EXPECT_TRUE(process->waitForPrefix("Choose mode: Type xboard or uci"));
        process->takeLines();
    }
    EngineProcess& operator*() { return *process; }
    EngineProcess* operator->() { return process.get(); }

    // xboard: the protocol chosen, the controller built (pong answers after it).
    void startXboard() {
        process->send("xboard");
        process->send("protover 2");
        ASSERT_TRUE(process->waitForPrefix("feature done=1"));
        process->send("ping 1");
        ASSERT_TRUE(process->expectLine("pong 1"));
        process->takeLines();
    }
    // UCI: options sent, the option phase ended by isready.
    void startUci(const std::vector<std::string>& options = {}) {
        process->send("uci");
        ASSERT_TRUE(process->expectLine("uciok"));
        for (const std::string& o : options) process->send(o);
        process->send("isready");
        ASSERT_TRUE(process->expectLine("readyok", 20000ms));
        process->takeLines();
    }

    ScratchDir dir;
    std::unique_ptr<EngineProcess> process;
};

std::string secondWord(const std::string& line) {
    std::size_t a = line.find(' ');
    if (a == std::string::npos) return "";
    std::size_t b = line.find(' ', a + 1);
    return line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
}

TEST(UciProtocol, OptionPhaseWritesTheSettingsFile) {
    // The identification and option lines themselves: UciOptions tests.
    Engine e;
    e->send("uci");
    ASSERT_TRUE(e->expectLine("uciok"));
    EXPECT_EQ(e->takeLines().front(), "id name Tarvok_v8.05 (32 bit)_UCI");

    e->send("setoption name Hash value 128");
    e->send("setoption name OwnBook value false");
    e->send("isready"); // ends the option phase: the file is written now
    ASSERT_TRUE(e->expectLine("readyok", 20000ms));
    const std::string written = e.dir.read("tarvok init.ini");
    EXPECT_NE(written.find("\npref:size-hashtable=128   (in MB)\n"), std::string::npos);
    EXPECT_NE(written.find("\npref:enable_BOOK=0\n"), std::string::npos);
    EXPECT_EQ(written.rfind("==== settings Tarvok_v8.05 (32 bit) ====\n", 0), 0u);

    // The same line in the command loop changes nothing, in the file or elsewhere.
    e->send("setoption name Hash value 256");
    e->send("isready");
    ASSERT_TRUE(e->expectLine("readyok"));
    EXPECT_EQ(e.dir.read("tarvok init.ini"), written);
    e->send("quit");
    EXPECT_EQ(e->waitExit(), 0);
}

// Every go gets exactly one bestmove, before any output of the next search,
// whatever command ends it; isready and stop answer at once.
TEST(UciProtocol, EveryGoGetsExactlyOneBestmove) {
    Engine e;
    e.startUci();
    // isready is answered while a search runs, and stop ends it at once.
    e->send("position startpos moves e2e4 e7e5");
    e->send("go infinite");
    e->send("isready");
    auto ready = e->waitFor(
        [](const std::string& l) { return l == "readyok" || startsWith(l, "bestmove"); });
    ASSERT_TRUE(ready);
    EXPECT_EQ(*ready, "readyok");
    e->drain(500ms);
    e->send("stop");
    auto best = e->waitForPrefix("bestmove ", 3000ms);
    ASSERT_TRUE(best) << e->transcriptText();
    EXPECT_TRUE(std::regex_match(secondWord(*best), kUciMove)) << *best;

    const std::vector<std::string> followers = {"position startpos", "ucinewgame", "isready",
                                                "go infinite", "quit"};
    for (const std::string& next : followers) {
        e->send("position startpos moves e2e4");
        e->send("go infinite");
        e->send("stop");
        e->send(next);
        if (next == "quit") break;
        e->send("stop");
        e->send("isready");
        ASSERT_TRUE(e->waitFor([](const std::string& l) { return l == "readyok"; }, 5000ms))
            << next;
    }
    e->drain(300ms);
    EXPECT_EQ(e->waitExit(5000ms), 0);
    // One bestmove per go, each after that go's search lines.
    int gos = 0, answers = 0;
    bool searching = false;
    for (const std::string& l : e->transcript()) {
        if (startsWith(l, "start thinkAndMakeBestMove")) {
            EXPECT_FALSE(searching) << "a search began before the last one's bestmove\n"
                                    << e->transcriptText();
            searching = true;
            ++gos;
        } else if (startsWith(l, "bestmove ")) {
            EXPECT_TRUE(searching) << e->transcriptText();
            searching = false;
            ++answers;
        }
    }
    EXPECT_EQ(gos, 7);
    EXPECT_EQ(answers, 7) << e->transcriptText();

    // Many go/stop pairs sent without waiting ("go infinite" would also clear
    // the tables each time, which only makes the test slow).
    Engine burst;
    burst.startUci();
    burst->send("position startpos");
    for (int i = 0; i < 200; ++i) {
        burst->send("go movetime 60000");
        burst->send("stop");
    }
    burst->send("isready");
    ASSERT_TRUE(burst->waitFor([](const std::string& l) { return l == "readyok"; }, 8000ms));
    auto lines = burst->takeLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return startsWith(l, "bestmove "); }),
              200);
}

// The budget printed for each go comes from that go's own words and the clock
// of the side to move, and even a spent budget plays a searched move (the
// first iteration always completes).
TEST(UciProtocol, GoTakesOnlyItsOwnLimitsAndTimeTroubleStillSearches) {
    Engine e;
    e.startUci({"setoption name OwnBook value false"}); // searches from the start position
    struct Case {
        const char* position;
        const char* go;
        int budgetMs;
    };
    const Case cases[] = {
        {"", "go wtime 100 btime 100 winc 100 binc 100", 50},
        {"", "go movetime 1", 0},
        {"", "go movetime 10", 5},
        {"", "go depth 3", 99999849},
        {"", "go wtime 60000 btime 50000 winc 1000 binc 500", 2850},
        // Black to move: Black's clock and increment count.
        {" moves e2e4", "go wtime 60000 btime 50000 winc 1000 binc 2000", 3516},
        {" moves e2e4 e7e5", "go wtime 60000 btime 1000 movestogo 20", 2850},
    };
    for (const Case& c : cases) {
        e->send(std::string("position startpos") + c.position);
        e->send(c.go);
        auto best = e->waitForPrefix("bestmove ", 5000ms);
        ASSERT_TRUE(best) << c.go << "\n" << e->transcriptText();
        auto lines = e->takeLines();
        const std::string budget =
            "===========time next move: " + std::to_string(c.budgetMs) + " ms===========";
        EXPECT_NE(std::find(lines.begin(), lines.end(), budget), lines.end())
            << c.go << "\n"
            << e->transcriptText();
        // Searched: at least the first iteration reported its move.
        const char* deepest = std::string(c.go) == "go depth 3" ? "info depth 3 " : "info depth 1 ";
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return startsWith(l, deepest);
        })) << c.go;
    }
}

TEST(UciProtocol, PonderPonderhitAndPonderStopAndTheBoardAfterAHit) {
    Engine e;
    e.startUci({"setoption name Ponder value true"});
    e->send("position startpos moves e2e4");
    e->send("go movetime 300");
    auto best = e->waitForPrefix("bestmove ", 10000ms);
    ASSERT_TRUE(best);
    // With pondering on the answer names the expected reply (or noMove).
    EXPECT_NE(best->find(" ponder "), std::string::npos) << *best;

    // go ponder prints nothing until the GUI says ponderhit.
    e->send("position startpos moves e2e4 e7e5 g1f3");
    e->send("go ponder wtime 2000 btime 2000");
    auto early = e->waitForPrefix("bestmove", 700ms);
    EXPECT_FALSE(early) << *early;
    e->send("ponderhit");
    best = e->waitForPrefix("bestmove ", 10000ms);
    ASSERT_TRUE(best) << e->transcriptText();
    EXPECT_TRUE(std::regex_match(secondWord(*best), kUciMove)) << *best;

    // stop ends a ponder search at once with a legal move of the given position,
    // also when it comes straight after go ponder.
    for (int wait : {0, 300}) {
        e->send("position startpos moves e2e4 e7e5 g1f3 b8c6");
        e->send("go ponder wtime 60000 btime 60000");
        if (wait) e->drain(std::chrono::milliseconds(wait));
        e->send("stop");
        best = e->waitForPrefix("bestmove ", 3000ms);
        ASSERT_TRUE(best) << e->transcriptText();
        std::string move = secondWord(*best);
        EXPECT_TRUE(std::regex_match(move, kUciMove)) << *best;
        // The position after the four moves: the engine plays White.
        EXPECT_TRUE(move[1] >= '1' && move[1] <= '4') << *best;
        e->send("isready");
        ASSERT_TRUE(e->expectLine("readyok"));
    }

    // A move played from a ponder hit is shown as a searched move is: the
    // announcement, then the board after it.
    e->send("position startpos");
    e->send("go movetime 100"); // the level ponderhit uses: 50 ms a move
    ASSERT_TRUE(e->waitForPrefix("bestmove ", 5000ms));
    e->send("position startpos moves e2e4 e7e5");
    e->send("go ponder");
    e->drain(400ms); // pondered longer than 80 % of the budget: a hit plays at once
    e->send("ponderhit");
    best = e->waitForPrefix("bestmove ", 5000ms);
    ASSERT_TRUE(best) << e->transcriptText();
    e->send("isready");
    std::vector<std::string> after;
    ASSERT_TRUE(e->waitFor(
        [&](const std::string& l) {
            after.push_back(l);
            return l == "readyok";
        },
        5000ms));
    const std::regex fen("[1-8pnbrqkPNBRQK/]+ b KQkq - [0-9]+ 2");
    EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const std::string& l) {
        return std::regex_match(l, fen);
    })) << e->transcriptText();
    // Played at once: no search of its own between ponderhit and the move.
    auto lines = e->transcript();
    auto hit =
        std::find(lines.rbegin(), lines.rend(), "===========time next move: 50 ms===========");
    ASSERT_NE(hit, lines.rend()) << e->transcriptText();
    EXPECT_TRUE(startsWith(*(hit - 1), "bestmove ")) << e->transcriptText();
}

TEST(UciProtocol, RefusedPositionsLeaveTheGameAndPromotionIsLowerCase) {
    Engine e;
    e.startUci();
    e->send("position startpos moves e2e4");
    e->send("position fen 8/8/8/8/8/8/8/K7 w - - 0 1 moves a1a2");
    auto refused = e->waitForPrefix("info string Error");
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused,
              "info string Error (illegal position): 8/8/8/8/8/8/8/K7 w - - 0 1 moves a1a2");
    e->send("position fen 4k3/8/8/8/8/8/8/4K2R b - - 0 1"); // white, not to move, gives no check
    e->send("position fen 4k2R/8/8/8/8/8/8/4K3 w - - 0 1"); // black in check, white to move
    refused = e->waitForPrefix("info string Error");
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused, "info string Error (illegal position): 4k2R/8/8/8/8/8/8/4K3 w - - 0 1");
    // The game is still the accepted one: Black, to move, has only king moves.
    e->send("go movetime 200");
    auto best = e->waitForPrefix("bestmove ", 10000ms);
    ASSERT_TRUE(best);
    EXPECT_EQ(secondWord(*best)[0], 'e') << *best;

    // Promoting by taking the queen is the only good move; UCI writes it in lower case.
    e->send("position fen 1q5k/P7/8/8/8/8/8/K7 w - - 0 1");
    e->send("go movetime 500");
    best = e->waitForPrefix("bestmove ", 10000ms);
    ASSERT_TRUE(best) << e->transcriptText();
    EXPECT_EQ(secondWord(*best), "a7b8q") << *best;
    auto report = e->takeLines();
    EXPECT_NE(std::find(report.begin(), report.end(), " foundmove=a7b8q"), report.end())
        << e->transcriptText();
}

TEST(XboardProtocol, FeaturesPingAndUnknownCommands) {
    Engine e;
    e->send("xboard");
    e->send("protover 2");
    ASSERT_TRUE(e->waitForPrefix("feature done=1"));
    auto lines = e->takeLines();
    std::vector<std::string> features;
    for (const std::string& l : lines) {
        if (startsWith(l, "feature")) features.push_back(l);
    }
    EXPECT_EQ(features, (std::vector<std::string>{
                            "feature done=0",
                            "feature myname=\"Tarvok_v8.05 (32 bit)\"",
                            "feature sigint=0",
                            "feature sigterm=0",
                            "feature variants=normal",
                            "feature ping=1",
                            "feature setboard=1",
                            "feature done=1",
                        }));
    e->send("ping 7");
    EXPECT_TRUE(e->expectLine("pong 7"));
    e->send("usermove e2e4");
    e->send("O-O");
    e->send("name fairymax");
    e->send("ping 9");
    ASSERT_TRUE(e->expectLine("pong 9"));
    std::vector<std::string> replies;
    for (const std::string& l : e->takeLines()) {
        if (startsWith(l, "Error")) replies.push_back(l);
    }
    EXPECT_EQ(replies, (std::vector<std::string>{"Error: (unknown command):usermove e2e4",
                                                 "Error: (unknown command):O-O",
                                                 "Error: (unknown command):name fairymax"}));
}

// The FEN line that ends the last board print among lines ("" if none).
std::string lastFen(const std::vector<std::string>& lines) {
    static const std::regex fen("[1-8pnbrqkPNBRQK/]+ [wb] [KQkq-]+ [a-h1-8-]+ \\d+ \\d+");
    for (auto l = lines.rbegin(); l != lines.rend(); ++l)
        if (std::regex_match(*l, fen)) return *l;
    return "";
}

TEST(XboardProtocol, CommandsLeaveTheirStateInWhatTheEnginePrints) {
    Engine e;
    e.startXboard(); // show-thinking is on from the start: every change prints the board
    auto fenAfter = [&](const std::string& command) {
        e->send(command);
        return lastFen(e->sync());
    };
    EXPECT_EQ(fenAfter("new"), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    e->send("force");
    e->send("e2e4");
    EXPECT_EQ(e->sync(), (std::vector<std::string>{
                             "",
                             "r n b q k b n r ",
                             "p p p p p p p p ",
                             ". . . . . . . . ",
                             ". . . . . . . . ",
                             ". . . . P . . . ",
                             ". . . . . . . . ",
                             "P P P P . P P P ",
                             "R N B Q K B N R ",
                             "toMove=black  castle=KQkq  enpassant=e3  eval=30  lazy=0  "
                             "wMat=3900  bMat=3900",
                             "boardkey= 1447625151",
                             "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
                             "",
                             "",
                         }));
    EXPECT_EQ(fenAfter("e7e5"), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
    EXPECT_EQ(fenAfter("undo"), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");

    // Sides: "black" and "white" set the side to move, which the next move must be.
    const std::string kpk = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
    EXPECT_EQ(fenAfter("setboard " + kpk), kpk);
    e->send("black");
    EXPECT_EQ(fenAfter("e8d8"), "3k4/8/8/8/8/8/4P3/4K3 w - - 1 1");
    e->send("black");
    e->send("e2e3");
    EXPECT_EQ(e->sync(), (std::vector<std::string>{"Error (ambiguous move): e2e3", ""}));
    EXPECT_EQ(fenAfter("d8e8"), "4k3/8/8/8/8/8/4P3/4K3 w - - 2 2");
    e->send("white");
    EXPECT_EQ(fenAfter("e2e3"), "4k3/8/8/8/8/4P3/8/4K3 b - - 0 2");

    // Clocks and levels: the budget of the next move, and the depth limit.
    auto budget = [&](std::vector<std::string> commands) {
        e->send("force");
        e->send("setboard " + kpk);
        for (const std::string& c : commands) e->send(c);
        e->send("go");
        auto line = e->expectPrefix("===========time next move: ");
        e->send("?"); // the budget is all this test wants: move now
        EXPECT_TRUE(e->expectPrefix("move ", 10000ms));
        return line.value_or("");
    };
    EXPECT_EQ(budget({"st 2"}), "===========time next move: 1850 ms===========");
    EXPECT_EQ(budget({"level 40 5 0", "time 12000", "otim 6000"}),
              "===========time next move: 2850 ms===========");
    EXPECT_EQ(budget({"level 0 2 3", "time 12000"}),
              "===========time next move: 6850 ms===========");
    auto lines = e->takeLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "moves=0 starttime=120000 inc=3000"),
              lines.end());
    e->send("sd 2");
    e->send("go");
    ASSERT_TRUE(e->expectPrefix("move ", 10000ms));
    lines = e->takeLines();
    EXPECT_GE(
        std::count_if(lines.begin(), lines.end(), [](auto& l) { return startsWith(l, " 2  "); }),
        1);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](auto& l) { return startsWith(l, " 3  "); }),
        0);
}

// Refused commands leave the game as it was; the engine's promotion is
// written in upper case.
TEST(XboardProtocol, RefusalsKeepTheGameAndPromotionIsUpperCase) {
    Engine e;
    e.startXboard();
    e->send("new");
    e->send("undo");
    EXPECT_TRUE(e->expectLine("Cannot undo!"));
    e->send("force");
    e->send("e2e5");
    EXPECT_TRUE(e->expectLine("Error (ambiguous move): e2e5"));
    e->send("setboard 8/8/8/8/8/8/8/K7 w - - 0 1");
    EXPECT_TRUE(e->expectLine("Error (illegal position): 8/8/8/8/8/8/8/K7 w - - 0 1"));
    e->send("setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNP w KQkq - 0 1");
    EXPECT_TRUE(e->expectPrefix("Error (illegal position)"));
    e->send("e2e4"); // still the start position: the move is legal
    EXPECT_TRUE(e->expectLine("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));

    e->send("setboard 1q5k/P7/8/8/8/8/8/K7 w - - 0 1");
    e->send("st 1");
    e->send("go");
    EXPECT_TRUE(e->expectLine("move a7b8Q", 10000ms)) << e->transcriptText();
}

TEST(XboardProtocol, AutoPlaysToTheEndAndHintNamesALegalMove) {
    Engine e("pref:enable_BOOK=0\n"); // searches from book positions
    e.startXboard();
    e->send("new");
    e->send("force");
    // White mates in one: self-play makes that move and stops at the mate.
    e->send("setboard 7k/5Q2/6K1/8/8/8/8/8 w - - 0 1");
    e->send("auto");
    ASSERT_TRUE(e->waitFor([](const std::string& l) { return l == "1-0 {white mates}"; }, 5000ms))
        << e->transcriptText();
    int moves = 0;
    for (const std::string& l : e->drain(300ms)) moves += startsWith(l, "move ");
    EXPECT_EQ(moves, 1) << e->transcriptText();

    // After its move the table knows the reply the engine expects: the hint
    // is a move of Black from the position after the engine's move.
    e->send("new");
    e->send("force");
    e->send("st 1");
    e->send("go");
    ASSERT_TRUE(e->waitForPrefix("move ", 10000ms));
    e->send("hint");
    auto hint = e->waitForPrefix("hint: ", 5000ms);
    ASSERT_TRUE(hint) << e->transcriptText();
    std::string move = hint->substr(6);
    EXPECT_TRUE(std::regex_match(move, kXboardMove)) << *hint;
    EXPECT_TRUE(move[1] == '7' || move[1] == '8') << *hint;
}

// Self-play reads its input while it plays: each command acts within one move.
TEST(XboardProtocol, SelfPlayHearsQuitNewForceAndMoveNow) {
    const auto nextMove = [](Engine& e) { return e->waitForPrefix("move ", 3000ms); };
    {
        Engine e;
        e.startXboard();
        e->send("new");
        e->send("nopost");
        e->send("auto");
        ASSERT_TRUE(nextMove(e)) << "first self-play move";
        e->send("quit");
        EXPECT_EQ(e->waitExit(2000ms), 0) << e->transcriptText();
        int moves = 0;
        for (const std::string& l : e->transcript()) moves += startsWith(l, "move ");
        EXPECT_LE(moves, 2) << e->transcriptText();
    }
    Engine e;
    e.startXboard();
    e->send("new");
    e->send("nopost");
    e->send("auto");
    ASSERT_TRUE(nextMove(e)) << "first self-play move";
    // "?" ends the move being searched; self-play goes on with the next.
    e->send("?");
    ASSERT_TRUE(nextMove(e)) << "move after ?";
    ASSERT_TRUE(nextMove(e)) << "self-play goes on after ?";
    // force ends self-play: nothing more is played, the game stays as it is.
    e->send("force");
    e->send("ping 8");
    ASSERT_TRUE(e->waitFor([](const std::string& l) { return l == "pong 8"; }, 3000ms));
    e->takeLines();
    auto later = e->drain(1500ms);
    EXPECT_TRUE(std::none_of(later.begin(), later.end(), [](const std::string& l) {
        return startsWith(l, "move ");
    })) << e->transcriptText();
    // new during self-play: the start position, the engine plays Black again.
    e->send("auto");
    ASSERT_TRUE(nextMove(e)) << "self-play again";
    e->send("new");
    e->send("post");
    e->send("e2e4");
    ASSERT_TRUE(e->waitFor(
        [](const std::string& l) {
            return l == "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
        },
        3000ms))
        << e->transcriptText();
}

// Thinking lines start with the depth, right-aligned.
bool isThinkingLine(const std::string& l) {
    std::size_t i = l.find_first_not_of(' ');
    return i != std::string::npos && std::isdigit(static_cast<unsigned char>(l[i]));
}

TEST(XboardProtocol, PonderHitAnswersAtOnceAndAMissSearches) {
    Engine e("pref:enable_BOOK=0\n"); // searches from book positions
    e.startXboard();
    e->send("new");
    e->send("hard");
    e->send("post");
    e->send("st 1");
    e->send("e2e4");
    ASSERT_TRUE(e->waitForPrefix("move ", 10000ms)) << e->transcriptText();
    auto start = e->waitForPrefix("===== Start Pondering moveGuess=", 5000ms);
    ASSERT_TRUE(start) << e->transcriptText();
    const std::string prefix = "===== Start Pondering moveGuess=";
    std::string guess = start->substr(prefix.size(), start->size() - prefix.size() - 5);
    ASSERT_TRUE(std::regex_match(guess, kXboardMove)) << *start;

    // Pondered longer than 80 % of the move's budget: the ponder result is
    // played at once, without a search of its own before the move.
    e->drain(1500ms);
    e->send(guess);
    // Thinking lines of the ponder search may still come until our move has
    // stopped it; the board printed after our move marks that point.
    const std::regex fen("[1-8pnbrqkPNBRQK/]+ [wb] .*");
    ASSERT_TRUE(e->waitFor([&](const std::string& l) { return std::regex_match(l, fen); }));
    auto lines = std::vector<std::string>{};
    auto move = e->waitFor(
        [&](const std::string& l) {
            lines.push_back(l);
            return startsWith(l, "move ");
        },
        10000ms);
    ASSERT_TRUE(move) << e->transcriptText();
    for (const std::string& l : lines) EXPECT_FALSE(isThinkingLine(l)) << l;

    // A guess that is missed: the engine searches afresh before its move.
    e->send("force");
    e->send("ping 6");
    ASSERT_TRUE(e->expectLine("pong 6"));
    // The engine plays Black; any legal move of ours but the guess.
    e->send("new");
    e->send("hard");
    e->send("st 1");
    e->send("d2d4");
    ASSERT_TRUE(e->waitForPrefix("move ", 10000ms));
    start = e->waitForPrefix(prefix, 5000ms);
    ASSERT_TRUE(start);
    guess = start->substr(prefix.size(), start->size() - prefix.size() - 5);
    std::string other = guess == "c2c4" ? "g1f3" : "c2c4";
    e->send(other);
    ASSERT_TRUE(e->waitFor([&](const std::string& l) { return std::regex_match(l, fen); }));
    lines.clear();
    move = e->waitFor(
        [&](const std::string& l) {
            lines.push_back(l);
            return startsWith(l, "move ");
        },
        10000ms);
    ASSERT_TRUE(move) << e->transcriptText();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), isThinkingLine)) << e->transcriptText();
}

TEST(XboardProtocol, AnalysisFollowsMovesAndUndoPlayotherAndMoveNow) {
    Engine e("pref:enable_BOOK=0\n"); // searches from book positions
    e.startXboard();
    e->send("new");
    e->send("force");
    e->send("analyze");
    ASSERT_TRUE(e->waitForPrefix("===== Start Pondering", 5000ms));
    e->send("e2e4"); // analysis goes on with the new position
    ASSERT_TRUE(e->waitFor([](const std::string& l) {
        return l == "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    }));
    ASSERT_TRUE(e->waitForPrefix("===== Start Pondering", 5000ms)) << e->transcriptText();
    e->send("undo");
    ASSERT_TRUE(e->waitForPrefix("===== Start Pondering", 5000ms)) << e->transcriptText();
    e->send("exit");
    e->send("ping 3");
    ASSERT_TRUE(e->expectLine("pong 3"));
    // Analysis is over: nothing more is searched.
    e->takeLines();
    auto after = e->drain(500ms);
    EXPECT_TRUE(after.empty()) << after.front();

    // playother: the engine takes the side not on move and answers our move;
    // "?" makes it move now.
    e->send("e2e4");
    e->send("st 60");
    e->send("playother");
    e->send("e7e5");
    e->drain(300ms);
    e->send("?");
    auto move = e->waitForPrefix("move ", 3000ms);
    ASSERT_TRUE(move) << e->transcriptText();
    std::string m = secondWord(*move);
    EXPECT_TRUE(std::regex_match(m, kXboardMove)) << *move;
    EXPECT_TRUE(m[1] >= '1' && m[1] <= '4') << *move; // a White move
}

// A settings file that is a FIFO or a link to /dev/zero: the engine starts,
// says in one line that it skipped the file, and answers at once.
TEST(Protocols, OddSettingsFilesAreSkippedWithOneLine) {
    // The file checks themselves (FIFO, device): the settings reader's tests.
    for (const auto& [protocol, fifo] : {std::pair{"xboard", true}, std::pair{"uci", false}}) {
        ScratchDir dir;
        const std::string path = dir.file("tarvok init.ini");
        if (fifo) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        } else {
            ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
        }
        EngineProcess e(dir.path());
        const bool uci = std::string(protocol) == "uci";
        e.send(protocol);
        e.send(uci ? "isready" : "ping 1");
        const std::string answer = uci ? "readyok" : "pong 1";
        ASSERT_TRUE(e.waitFor([&](const std::string& l) { return l == answer; }, 5000ms))
            << protocol << " fifo=" << fifo << "\n"
            << e.transcriptText();
        const std::string note =
            std::string(uci ? "info string " : "") +
            "tarvok init.ini is not a regular file: skipped, the defaults hold";
        const auto& lines = e.transcript();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), note), 1) << e.transcriptText();
        e.send("quit");
        EXPECT_EQ(e.waitExit(3000ms), 0);
    }
}

// Material values are held to what the engine can use, and the settings echo
// shows the values used, not the texts read. Numbers are decimal only.
TEST(Protocols, SettingsEchoShowsTheValuesUsedAndNumbersAreDecimal) {
    Engine e("pref:printToScreen=1\npref:VALPAWN=-5\npref:VALQUEEN=999999\npref:VALROOK=0x10\n");
    e.startXboard();
    e->send("ping 0x10");
    e->send("ping inf");
    e->send("ping 12.9");
    ASSERT_TRUE(e->waitFor([](const std::string& l) { return l == "pong 12"; }));
    const auto& lines = e->transcript();
    std::vector<std::string> echo;
    for (const std::string& l : lines) {
        if (startsWith(l, "   VAL") || startsWith(l, "pong")) echo.push_back(l);
    }
    // The front end's echo (each search process echoes too, on its own time).
    ASSERT_GE(echo.size(), 6u) << e.process->transcriptText();
    EXPECT_EQ(
        std::vector<std::string>(echo.begin(), echo.begin() + 3),
        (std::vector<std::string>{"   VALPAWN:  1", "   VALQUEEN: 100000", "   VALROOK:  0"}));
    EXPECT_EQ(std::vector<std::string>(echo.end() - 3, echo.end()),
              (std::vector<std::string>{"pong 0", "pong 0", "pong 12"}));
}

TEST(Protocols, MalformedInputNeverHangs) {
    // Each junk line is one command; "|" separates them.
    const std::string junk =
        "| |go|level|level 40|time|otim|st|st |sd|sd 99999999999|ping|setboard|setboard |"
        "position|position fen|position fen |position startpos moves|"
        "position startpos moves e2e4 zz|go wtime|go depth|go movestogo -5 wtime -10|"
        "time 99999999999|level 0 99999999999 99999999999|a1|h8h9|e7e8K|" +
        std::string(20000, 'x');
    for (const std::string protocol : {"xboard", "uci"}) {
        const bool uci = protocol == "uci";
        Engine e;
        if (uci) {
            e.startUci(
                {"setoption name Hash value", "setoption name", "setoption name Pawn value x"});
        } else {
            e.startXboard();
        }
        for (std::size_t at = 0, bar; at != std::string::npos;
             at = bar == junk.npos ? bar : bar + 1) {
            bar = junk.find('|', at);
            e->send(junk.substr(at, bar == junk.npos ? junk.npos : bar - at));
        }
        e->send(uci ? "stop" : "force");
        e->send(uci ? "isready" : "ping 5");
        EXPECT_TRUE(e->expectLine(uci ? "readyok" : "pong 5", 20000ms)) << protocol;
        e->send("quit");
        EXPECT_EQ(e->waitExit(), 0) << protocol;
    }
}

} // namespace
