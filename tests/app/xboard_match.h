// Real-client matches: xboard 4.9 without a window (under xvfb-run) plays
// tarvok against another engine and saves the games; the saved PGN tells
// how each game ended and whose fault an unchessly end was.
#pragma once

#include <string>
#include <vector>

namespace testing_engine {

struct MatchSetup {
    std::string first;     // command of the first engine (-fcp)
    bool firstUci = false; // talk UCI to it through polyglot (-fUCI)
    std::string second;    // -scp
    bool secondUci = false;
    int games = 1;
    std::vector<std::string> timeControl; // e.g. {"-tc", "0:05", "-inc", "1"}
    std::string startFen;                 // empty: the normal start position
    int timeoutSeconds = 900;
};

struct GameRecord {
    std::string white, black, result, ending; // ending: the result comment
    int plies = 0;
};

struct MatchOutcome {
    bool finished = false; // xboard ended by itself within the time-out
    std::string pgn;
    std::vector<GameRecord> games;
};

// Runs the match in dir (the engines' working directory too).
MatchOutcome runXboardMatch(const MatchSetup& setup, const std::string& dir);
std::vector<GameRecord> parsePgn(const std::string& pgn);

// How a game ended for the engine whose name contains `engine`: a fault
// of that engine (illegal move, crash or disconnection, loss on time), a
// fault of its opponent, or a chess result.
enum class Ending { ChessResult, EngineFault, OpponentFault, Unfinished };
Ending classify(const GameRecord& game, const std::string& engine);

} // namespace testing_engine
