// Whole games the way users run the engine: xboard in match mode (no window,
// under xvfb-run) against Debian's fairymax, with tarvok in xboard mode and
// in UCI mode through polyglot, from the start and from a position where
// both sides promote. A game must end by a chess result: a loss on time, an
// illegal move or a dead engine of tarvok's fails the test.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

// Plays one game; returns the PGN xboard saved ("" if xboard did not end
// within the time-out, after killing it and everything it started).
std::string playGame(const ScratchDir& dir, bool uci, bool tarvokWhite, const std::string& fen) {
    const std::string tarvok = engineBinary();
    std::vector<std::string> args = {"xvfb-run",
                                     "-a",
                                     "xboard",
                                     "-saveSettingsOnExit",
                                     "false",
                                     "-noGUI",
                                     "-xexit",
                                     "-ponderNextMove",
                                     "false",
                                     "-autoCallFlag",
                                     "true",
                                     "-matchGames",
                                     "1",
                                     "-tc",
                                     "0:05",
                                     "-inc",
                                     "1",
                                     "-fd",
                                     dir.path(),
                                     "-sd",
                                     dir.path(),
                                     "-saveGameFile",
                                     dir.file("games.pgn")};
    args.insert(args.end(), {"-fcp", tarvokWhite ? tarvok : "fairymax", "-scp",
                             tarvokWhite ? "fairymax" : tarvok});
    if (uci) args.push_back(tarvokWhite ? "-fUCI" : "-sUCI");
    if (!fen.empty()) {
        dir.write("start.fen", fen + "\n");
        args.insert(args.end(), {"-loadPositionFile", dir.file("start.fen")});
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        std::string path = std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
        setenv("PATH", (path + ":/usr/games").c_str(), 1);
        if (!freopen("/dev/null", "r", stdin) || !freopen("xboard.out", "w", stdout) ||
            !freopen("xboard.err", "w", stderr))
            _exit(126);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    setpgid(pid, pid);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    bool ended = false;
    while (!(ended = waitpid(pid, nullptr, WNOHANG) == pid) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(-pid, SIGKILL); // xboard, Xvfb and the engines below them
    if (!ended) waitpid(pid, nullptr, 0);
    return ended ? dir.read("games.pgn") : "";
}

struct Game {
    bool uci, tarvokWhite;
    std::string fen;
};

void playAndCheck(const Game& g) {
    if (std::system("PATH=$PATH:/usr/games command -v xvfb-run xboard polyglot fairymax "
                    ">/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xboard, polyglot, fairymax or xvfb-run missing";
    ScratchDir dir;
    std::string pgn = playGame(dir, g.uci, g.tarvokWhite, g.fen);
    SCOPED_TRACE((g.uci ? "UCI, " : "xboard, ") + g.fen + "\n" + pgn);
    ASSERT_FALSE(pgn.empty()) << "xboard did not end within 240 s";
    std::smatch m;
    ASSERT_TRUE(std::regex_search(pgn, m, std::regex("\\[Result \"([^\"]*)\"\\]")));
    const std::string result = m[1];
    ASSERT_NE(result, "*") << "unfinished game";
    // xboard's last comment says how the game ended; a fault it blames on
    // tarvok is a loss of tarvok's with one of these words.
    std::size_t close = pgn.rfind('}'), open = pgn.rfind('{', close);
    const std::string ending = pgn.substr(open + 1, close - open - 1);
    const bool tarvokLost = result == (g.tarvokWhite ? "0-1" : "1-0");
    for (const char* fault : {"time", "orfeit", "llegal", "invalid", "program", "exit", "crash",
                              "disconnect", "terminated", "died"})
        EXPECT_FALSE(tarvokLost && ending.find(fault) != std::string::npos) << ending;
}

TEST(SlowRealClientGames, XboardModeWithWhite) {
    playAndCheck({false, true, ""});
}

TEST(SlowRealClientGames, UciModeThroughPolyglotWithBlack) {
    playAndCheck({true, false, ""});
}

// Upper-case promotions to xboard, lower-case ones through polyglot.
TEST(SlowRealClientGames, PromotionInBothProtocols) {
    for (bool uci : {false, true}) playAndCheck({uci, true, "8/1P4k1/8/8/8/8/5Kp1/8 w - - 0 1"});
}

} // namespace
