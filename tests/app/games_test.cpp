// Full games against real programs, the way users run the engine: xboard 4.9
// in match mode (no window, under xvfb-run) with tarvok in xboard mode and in
// UCI mode through polyglot, against Debian's fairymax. Any fault of tarvok
// fails the test; a fault of the opponent is only reported.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

struct MatchSetup {
    std::string first;     // command of the first engine (-fcp)
    bool firstUci = false; // talk UCI to it through polyglot (-fUCI)
    std::string second;    // -scp
    bool secondUci = false;
    std::vector<std::string> timeControl; // e.g. {"-tc", "0:05", "-inc", "1"}
    std::string startFen;                 // empty: the normal start position
    int timeoutSeconds = 900;
};

struct GameRecord {
    std::string white, black, result, ending; // ending: the result comment
};

struct MatchOutcome {
    bool finished = false; // xboard ended by itself within the time-out
    std::string pgn;
    std::vector<GameRecord> games;
};

// How a game ended for the engine whose name contains `engine`: a fault
// of that engine (illegal move, crash or disconnection, loss on time), a
// fault of its opponent, or a chess result.
enum class Ending { ChessResult, EngineFault, OpponentFault, Unfinished };

bool contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

// The games of a PGN file: players, result, xboard's comment on the end.
std::vector<GameRecord> parsePgn(const std::string& pgn) {
    std::vector<GameRecord> games;
    std::istringstream in(pgn);
    std::string line, body;
    GameRecord game;
    bool inGame = false;
    auto finish = [&] {
        if (!inGame) return;
        // The last comment of the game is xboard's account of its end.
        std::size_t close = body.rfind('}');
        std::size_t open = close == std::string::npos ? std::string::npos : body.rfind('{', close);
        if (open != std::string::npos) game.ending = body.substr(open + 1, close - open - 1);
        games.push_back(game);
        game = GameRecord{};
        body.clear();
        inGame = false;
    };
    const std::regex tag("\\[(\\w+) \"(.*)\"\\]");
    bool inHeaders = false;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_match(line, m, tag)) {
            if (!inHeaders) finish();
            inHeaders = inGame = true;
            if (m[1] == "White") game.white = m[2];
            if (m[1] == "Black") game.black = m[2];
            if (m[1] == "Result") game.result = m[2];
        } else {
            inHeaders = false;
            body += line + "\n";
        }
    }
    finish();
    return games;
}

// Runs the match in dir (the engines' working directory too): xboard
// without a window (under xvfb-run), the games saved as PGN.
MatchOutcome runXboardMatch(const MatchSetup& setup, const ScratchDir& scratch) {
    MatchOutcome outcome;
    const std::string& dir = scratch.path();
    const std::string pgnPath = scratch.file("games.pgn");
    // xboard reads ~/.xboardrc (found through the password file, not $HOME)
    // and by default rewrites it at exit; a file saved by one match can keep
    // the next from starting its engines ("Can't have a match with no chess
    // programs"). So no match writes it.
    std::vector<std::string> args;
    std::istringstream fixed("xvfb-run -a xboard -saveSettingsOnExit false -noGUI -xexit "
                             "-ponderNextMove false -autoCallFlag true -matchGames 1");
    for (std::string word; fixed >> word;) args.push_back(word);
    args.insert(args.end(),
                {"-fcp", setup.first, "-fd", dir, "-scp", setup.second, "-sd", dir, "-saveGameFile",
                 pgnPath, "-debug", "-nameOfDebugFile", dir + "/xboard.debug"});
    if (setup.firstUci) args.push_back("-fUCI");
    if (setup.secondUci) args.push_back("-sUCI");
    for (const std::string& t : setup.timeControl) args.push_back(t);
    if (!setup.startFen.empty()) {
        scratch.write("start.fen", setup.startFen + "\n");
        args.insert(args.end(), {"-loadPositionFile", dir + "/start.fen"});
    }
    // Nothing buffered may be written twice, by the child as well.
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (chdir(dir.c_str()) != 0) _exit(126);
        std::string path =
            std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin") +
            ":/usr/games";
        setenv("PATH", path.c_str(), 1);
        freopen("/dev/null", "r", stdin);
        freopen((dir + "/xboard.out").c_str(), "w", stdout);
        freopen((dir + "/xboard.err").c_str(), "w", stderr);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) return outcome;
    setpgid(pid, pid);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(setup.timeoutSeconds);
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            outcome.finished = true;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    // xboard, Xvfb and every engine started below them.
    kill(-pid, SIGKILL);
    if (!outcome.finished) waitpid(pid, &status, 0);
    outcome.pgn = scratch.read("games.pgn");
    outcome.games = parsePgn(outcome.pgn);
    return outcome;
}

Ending classify(const GameRecord& g, const std::string& engine) {
    const bool engineWhite = contains(g.white, engine.c_str());
    const std::string& e = g.ending;
    // Which side xboard held responsible, when it says so.
    int loser = 0; // +1 White lost, -1 Black lost
    if (g.result == "1-0") loser = -1;
    if (g.result == "0-1") loser = 1;
    auto faultOf = [&](int side) {
        if (side == 0) return Ending::EngineFault; // unknown: count it against the engine
        return (side == 1) == engineWhite ? Ending::EngineFault : Ending::OpponentFault;
    };
    if (contains(e, "on time") || contains(e, "time forfeit") || contains(e, "Forfeit") ||
        contains(e, "llegal") || contains(e, "invalid")) {
        return faultOf(loser);
    }
    if (contains(e, "first chess program") || contains(e, "second chess program") ||
        contains(e, "exit") || contains(e, "crash") || contains(e, "disconnect") ||
        contains(e, "terminated") || contains(e, "died")) {
        if (loser != 0) return faultOf(loser);
        return g.result == "*" ? Ending::Unfinished : Ending::EngineFault;
    }
    if (g.result == "*" || g.result.empty()) return Ending::Unfinished;
    return Ending::ChessResult;
}

const std::string kEngine = "Tarvok";

bool havePrograms() {
    return std::system("PATH=$PATH:/usr/games command -v xvfb-run xboard polyglot fairymax "
                       ">/dev/null 2>&1") == 0;
}

void playAndCheck(MatchSetup setup, int expectedGames) {
    if (!havePrograms()) GTEST_SKIP() << "xboard, polyglot, fairymax or xvfb-run missing";
    ScratchDir dir;
    MatchOutcome m = runXboardMatch(setup, dir);
    ASSERT_TRUE(m.finished) << "xboard did not end in time\n" << m.pgn;
    ASSERT_EQ(static_cast<int>(m.games.size()), expectedGames) << m.pgn;
    for (const GameRecord& g : m.games) {
        Ending e = classify(g, kEngine);
        std::cout << g.white << " - " << g.black << ": " << g.result << " {" << g.ending << "}\n";
        EXPECT_TRUE(g.white.find(kEngine) != std::string::npos ||
                    g.black.find(kEngine) != std::string::npos)
            << "tarvok did not play: " << g.white << " - " << g.black;
        EXPECT_NE(e, Ending::EngineFault) << g.ending << "\n" << m.pgn;
        EXPECT_NE(e, Ending::Unfinished) << g.ending << "\n" << m.pgn;
        if (e == Ending::OpponentFault) std::cout << "opponent's fault: " << g.ending << "\n";
    }
}

TEST(SlowRealClientGames, XboardModeAtBasePlusIncrement) {
    MatchSetup s;
    s.first = engineBinary();
    s.second = "fairymax";
    s.timeControl = {"-tc", "0:05", "-inc", "1"};
    playAndCheck(s, 1);
}

TEST(SlowRealClientGames, UciModeThroughPolyglotAtMovesInTime) {
    MatchSetup s;
    s.first = "fairymax"; // tarvok has Black here
    s.second = engineBinary();
    s.secondUci = true;
    s.timeControl = {"-mps", "40", "-tc", "0:30"};
    playAndCheck(s, 1);
}

// A pawn one step from promotion on each side: both protocols must carry the
// promotion (upper case to xboard, lower case to polyglot) and the game must
// end by a chess result.
TEST(SlowRealClientGames, PromotionInBothProtocols) {
    for (bool uci : {false, true}) {
        MatchSetup s;
        s.first = engineBinary();
        s.firstUci = uci;
        s.second = "fairymax";
        s.timeControl = {"-tc", "0:05", "-inc", "1"};
        s.startFen = "8/1P4k1/8/8/8/8/5Kp1/8 w - - 0 1";
        playAndCheck(s, 1);
    }
}

} // namespace
