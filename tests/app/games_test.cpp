// Full games against a real program, the way users run the engine: xboard
// 4.9 in match mode (no window, under xvfb-run) with tarvok in xboard mode
// and in UCI mode through polyglot, against Debian's fairymax. Any fault of
// tarvok (an illegal move, a loss on time, a crash) fails the test.
#include <gtest/gtest.h>

#include <regex>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

// Plays one game under xboard in a fresh folder (also the engines' folder)
// with tarvok as the first (White) or second program; returns the PGN.
std::string playMatch(bool tarvokFirst, bool uci, const std::string& timeControl,
                      const std::string& startFen = "") {
    ScratchDir dir;
    // xboard rewrites ~/.xboardrc at exit unless told not to; a file saved by
    // one match can keep the next from starting its engines.
    std::string command = "PATH=$PATH:/usr/games exec xvfb-run -a xboard -saveSettingsOnExit "
                          "false -noGUI -xexit -ponderNextMove false -autoCallFlag true "
                          "-matchGames 1 -fd . -sd . -saveGameFile games.pgn";
    command += (tarvokFirst ? " -fcp " : " -scp ") + engineBinary() +
               (tarvokFirst ? " -scp" : " -fcp") + " fairymax";
    if (uci) command += tarvokFirst ? " -fUCI" : " -sUCI";
    command += " " + timeControl;
    if (!startFen.empty()) {
        dir.write("start.fen", startFen + "\n");
        command += " -loadPositionFile start.fen";
    }
    EngineProcess x(dir.path(), {"-c", command + " >/dev/null 2>&1"}, 0, "/bin/sh");
    x.closeInput();
    EXPECT_TRUE(x.waitExit(std::chrono::minutes(5))) << "xboard did not end in time";
    return dir.read("games.pgn"); // the driver ends xboard, Xvfb and the engines
}

// The game ended by a chess result, or by a fault of fairymax (reported only).
void expectChessResult(const std::string& pgn, bool tarvokWhite) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(pgn, m, std::regex("\\{([^}]*)\\} (1-0|0-1|1/2-1/2)\\s*$")))
        << "no finished game:\n"
        << pgn;
    const std::string ending = m[1];
    const bool fault = std::regex_search(ending, std::regex("time|orfeit|llegal|invalid|crash|"
                                                            "exit|disconnect|terminated|died"));
    const bool tarvokLost = m[2] == (tarvokWhite ? "0-1" : "1-0");
    EXPECT_FALSE(fault && (tarvokLost || m[2] == "1/2-1/2")) << ending << "\n" << pgn;
    if (fault && !tarvokLost) std::cout << "opponent's fault: " << ending << "\n";
    EXPECT_NE(pgn.find("Tarvok"), std::string::npos) << pgn;
}

bool havePrograms() {
    return std::system("PATH=$PATH:/usr/games command -v xvfb-run xboard polyglot fairymax "
                       ">/dev/null 2>&1") == 0;
}

// Tarvok in xboard mode at base plus increment, then in UCI mode through
// polyglot at moves in time from a position where both sides promote (upper
// case to xboard, lower case to polyglot).
TEST(SlowRealClientGames, XboardAndUciThroughPolyglot) {
    if (!havePrograms()) GTEST_SKIP() << "xboard, polyglot, fairymax or xvfb-run missing";
    expectChessResult(playMatch(true, false, "-tc 0:05 -inc 1"), true);
    expectChessResult(
        playMatch(false, true, "-mps 40 -tc 0:30", "8/1P4k1/8/8/8/8/5Kp1/8 w - - 0 1"), false);
}

} // namespace
