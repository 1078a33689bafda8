// Full games against real programs, the way users run the engine: xboard 4.9
// in match mode (no window, under xvfb-run) with tarvok in xboard mode and in
// UCI mode through polyglot, against Debian's fairymax. Any fault of tarvok
// fails the test; a fault of the opponent is only reported.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "engine_driver.h"
#include "xboard_match.h"

namespace {

using namespace testing_engine;

const std::string kEngine = "Tarvok";

bool havePrograms() {
    return std::system("PATH=$PATH:/usr/games command -v xvfb-run xboard polyglot fairymax "
                       ">/dev/null 2>&1") == 0;
}

void playAndCheck(MatchSetup setup, int expectedGames) {
    if (!havePrograms()) GTEST_SKIP() << "xboard, polyglot, fairymax or xvfb-run missing";
    ScratchDir dir;
    MatchOutcome m = runXboardMatch(setup, dir.path());
    ASSERT_TRUE(m.finished) << "xboard did not end in time\n" << m.pgn;
    ASSERT_EQ(static_cast<int>(m.games.size()), expectedGames) << m.pgn;
    for (const GameRecord& g : m.games) {
        Ending e = classify(g, kEngine);
        std::cout.flush();
        std::cout << g.white << " - " << g.black << ": " << g.result << " {" << g.ending << "}, "
                  << g.plies << " plies\n";
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
