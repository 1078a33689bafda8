// Whole games as users run the engine: xboard in match mode under xvfb-run
// against fairymax, tarvok in xboard mode and in UCI mode through polyglot.
// A loss on time, an illegal move or a dead engine of tarvok's fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

// Plays one game in a scratch directory and checks how it ended.
void playAndCheck(bool uci, bool tarvokWhite, const std::string& fen = "") {
    if (std::system("PATH=$PATH:/usr/games command -v xvfb-run xboard polyglot fairymax "
                    ">/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xboard, polyglot, fairymax or xvfb-run missing";
    ScratchDir dir;
    const std::string tarvok = engineBinary(), white = tarvokWhite ? tarvok : "fairymax",
                      black = tarvokWhite ? "fairymax" : tarvok;
    std::string command = "PATH=$PATH:/usr/games exec xvfb-run -a xboard -saveSettingsOnExit false "
                          "-noGUI -xexit -ponderNextMove false -autoCallFlag true -matchGames 1 "
                          "-tc 0:05 -inc 1 -fd . -sd . -saveGameFile games.pgn -fcp " +
                          white + " -scp " + black + (uci ? tarvokWhite ? " -fUCI" : " -sUCI" : "");
    if (!fen.empty()) {
        dir.write("start.fen", fen + "\n");
        command += " -loadPositionFile start.fen";
    }
    // A time-out kills xboard and everything it started.
    ASSERT_GE(runShell(dir.path(), command + " >xboard.out 2>&1", "", 240s).first, 0)
        << "xboard did not end within 240 s";
    const std::string pgn = dir.read("games.pgn");
    SCOPED_TRACE((uci ? "UCI, " : "xboard, ") + fen + "\n" + pgn);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(pgn, m, std::regex("\\[Result \"([^\"]*)\"\\]")));
    const std::string result = m[1];
    ASSERT_NE(result, "*") << "unfinished game";
    // xboard's last comment says how the game ended; a fault it blames on
    // tarvok is a loss of tarvok's with one of these words.
    std::size_t close = pgn.rfind('}'), open = pgn.rfind('{', close);
    const std::string ending = pgn.substr(open + 1, close - open - 1);
    const bool tarvokLost = result == (tarvokWhite ? "0-1" : "1-0");
    for (const char* fault : {"time", "orfeit", "llegal", "invalid", "program", "exit", "crash",
                              "disconnect", "terminated", "died"})
        EXPECT_FALSE(tarvokLost && ending.find(fault) != std::string::npos) << ending;
}

TEST(SlowRealClientGames, XboardModeWithWhite) {
    playAndCheck(false, true);
}

TEST(SlowRealClientGames, UciModeThroughPolyglotWithBlack) {
    playAndCheck(true, false);
}

// Upper-case promotions to xboard, lower-case ones through polyglot.
TEST(SlowRealClientGames, PromotionInBothProtocols) {
    for (bool uci : {false, true}) playAndCheck(uci, true, "8/1P4k1/8/8/8/8/5Kp1/8 w - - 0 1");
}

} // namespace
