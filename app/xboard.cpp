// The xboard (CECP) dialogue: one command per line, matched in a fixed order
// against the start of the line. The engine's moves ("move ...") come from
// the search controller; the loop plays them on its own board when the next
// line arrives, or, in self-play, as soon as the controller has found them.
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/command_args.h"
#include "app/game_controller.h"
#include "app/identity.h"
#include "app/line_reader.h"
#include "app/output.h"
#include "app/position_check.h"
#include "app/protocols.h"
#include "app/settings.h"
#include "board/settings_file.h"

namespace {

// How often self-play looks for input while the controller searches.
constexpr int SELF_PLAY_POLL_MS = 20;

int numberAt(const char* line, int offset) {
    return readNumber(argumentAt(line, offset));
}

bool isMoveText(const char* line) {
    return line[0] >= 'a' && line[0] <= 'h' && line[1] >= '1' && line[1] <= '8';
}

// "bench": depth 12 and 10 s a position; "bench N": depth N and 100 s.
constexpr int BENCH_DEPTH = 12;
constexpr int BENCH_MS = 10000;
constexpr int BENCH_GIVEN_DEPTH_MS = 100000;

class XboardLoop {
  public:
    explicit XboardLoop(GameController& game) : game_(game) {}
    // Handles one line; false on "quit".
    bool handle(const char* line);

  private:
    using Handler = bool (XboardLoop::*)(const char* line);
    struct Command {
        const char* prefix; // nullptr: a move
        Handler run;
        bool keepsSelfPlay; // leaves a running self-play game alone
    };
    static const Command commands[];

    void restartAnalysis() {
        if (analyzing_) game_.startPonderTask(TASK_PONDER);
    }
    bool nothing(const char*) { return true; }
    bool quit(const char*);
    bool status(const char*);
    bool tuneVariant(const char* line);
    bool epdSuite(const char* line);
    bool tune(const char* line);
    bool speed(const char* line);
    bool result(const char*);
    bool analyze(const char*);
    bool exitAnalysis(const char*);
    bool hard(const char*);
    bool easy(const char*);
    bool undo(const char*);
    bool post(const char*);
    bool nopost(const char*);
    bool hint(const char*);
    bool setboard(const char* line);
    bool force(const char*);
    bool white(const char*);
    bool black(const char*);
    bool playother(const char*);
    bool newGame(const char*);
    bool go(const char*);
    bool selfPlay(const char*);
    bool ping(const char* line);
    bool depth(const char* line);
    bool time(const char* line);
    bool otim(const char* line);
    bool secondsPerMove(const char* line);
    bool moveNow(const char*);
    bool bench(const char* line);
    bool mp(const char*);
    bool protover(const char*);
    bool level(const char* line);
    bool move(const char* line);

    GameController& game_;
    bool analyzing_ = false;
    // The last "time" and "otim" (engine, opponent) since the last command
    // that changes the game. The clocks are the colours', and "go" may
    // change the engine's colour after they arrived.
    std::optional<std::int32_t> reportedMs_[2];
};

// In the order the lines are tested; the first match is handled.
// clang-format off
const XboardLoop::Command XboardLoop::commands[] = {
    {"quit",     &XboardLoop::quit,           false},
    {".",        &XboardLoop::status,         true},
    {"xboard",   &XboardLoop::nothing,        true},
    {"tunele",   &XboardLoop::tuneVariant,    false},
    {"benchepd", &XboardLoop::epdSuite,       false},
    {"tune",     &XboardLoop::tune,           false},
    {"speed ",   &XboardLoop::speed,          false},
    {"accepted", &XboardLoop::nothing,        true},
    {"rejected", &XboardLoop::nothing,        true},
    {"random",   &XboardLoop::nothing,        true},
    {"result",   &XboardLoop::result,         false},
    {"analyze",  &XboardLoop::analyze,        false},
    {"exit",     &XboardLoop::exitAnalysis,   false},
    {"hard",     &XboardLoop::hard,           true},
    {"easy",     &XboardLoop::easy,           true},
    {"undo",     &XboardLoop::undo,           false},
    {"post",     &XboardLoop::post,           true},
    {"nopost",   &XboardLoop::nopost,         true},
    {"hint",     &XboardLoop::hint,           true},
    {"setboard", &XboardLoop::setboard,       false},
    {"force",    &XboardLoop::force,          false},
    {"white",    &XboardLoop::white,          false},
    {"black",    &XboardLoop::black,          false},
    {"playothe", &XboardLoop::playother,      false},
    {"new",      &XboardLoop::newGame,        false},
    {"go",       &XboardLoop::go,             false},
    {"auto",     &XboardLoop::selfPlay,       false},
    {"ping",     &XboardLoop::ping,           true},
    {"sd ",      &XboardLoop::depth,          true},
    {"time",     &XboardLoop::time,           true},
    {"otim",     &XboardLoop::otim,           true},
    {"st ",      &XboardLoop::secondsPerMove, false},
    {"?",        &XboardLoop::moveNow,        true},
    {"bench ",   &XboardLoop::bench,          false},
    {"bench",    &XboardLoop::bench,          false},
    {"mp",       &XboardLoop::mp,             false},
    {"protover", &XboardLoop::protover,       true},
    {"level",    &XboardLoop::level,          false},
    {nullptr,    &XboardLoop::move,           false}, // a move: "e2e4", "e7e8q"
};
// clang-format on

bool XboardLoop::handle(const char* line) {
    for (const Command& c : commands) {
        if (c.prefix ? !startsWith(line, c.prefix) : !isMoveText(line)) continue;
        // A command that changes the game or the engine's task ends self-play.
        if (!c.keepsSelfPlay) game_.endSelfPlay();
        const bool more = (this->*c.run)(line);
        if (!c.keepsSelfPlay) reportedMs_[0] = reportedMs_[1] = std::nullopt;
        return more;
    }
    say("Error: (unknown command):%s\n", line);
    return true;
}

bool XboardLoop::quit(const char*) {
    game_.quit();
    return false;
}
bool XboardLoop::status(const char*) {
    game_.printStat01();
    return true;
}
bool XboardLoop::tuneVariant(const char* line) {
    game_.startToolTask(TASK_TUNE_VARIANT, numberAt(line, 6));
    return true;
}
bool XboardLoop::epdSuite(const char* line) {
    game_.startToolTask(TASK_EPD_SUITE, numberAt(line, 8));
    return true;
}
bool XboardLoop::tune(const char* line) {
    game_.startToolTask(TASK_TUNE, numberAt(line, 4));
    return true;
}
bool XboardLoop::speed(const char* line) {
    game_.enginePlays = 1;
    game_.benchSpeed(clampDepth(numberAt(line, 6)));
    return true;
}
bool XboardLoop::result(const char*) {
    game_.stopSearch();
    return true;
}
bool XboardLoop::analyze(const char*) {
    game_.enginePlays = 0;
    game_.stopClock();
    game_.setPonderEnabled(1);
    analyzing_ = true;
    restartAnalysis();
    return true;
}
bool XboardLoop::exitAnalysis(const char*) {
    game_.stopSearch();
    analyzing_ = false;
    return true;
}
bool XboardLoop::hard(const char*) {
    game_.setPonderEnabled(1);
    return true;
}
bool XboardLoop::easy(const char*) {
    game_.setPonderEnabled(0);
    return true;
}
bool XboardLoop::undo(const char*) {
    game_.enginePlays = 0;
    game_.stopClock();
    game_.stopSearch();
    game_.undoMove();
    restartAnalysis();
    return true;
}
bool XboardLoop::post(const char*) {
    game_.setPost(1);
    return true;
}
bool XboardLoop::nopost(const char*) {
    game_.setPost(0);
    return true;
}
bool XboardLoop::hint(const char*) {
    game_.printHint();
    return true;
}
bool XboardLoop::setboard(const char* line) {
    // A running search belongs to the old position: stop it first.
    game_.stopSearch();
    const char* fen = argumentAt(line, 9);
    if (!game_.setPosition(fen)) {
        sayIllegalPosition(fen);
    }
    restartAnalysis();
    return true;
}
bool XboardLoop::force(const char*) {
    game_.enginePlays = 0;
    game_.stopSearch();
    game_.stopClock();
    return true;
}
bool XboardLoop::white(const char*) {
    game_.setSideToMove(WHITE);
    game_.stopClock();
    return true;
}
bool XboardLoop::black(const char*) {
    game_.setSideToMove(BLACK);
    game_.stopClock();
    return true;
}
bool XboardLoop::playother(const char*) {
    game_.playOther();
    return true;
}
bool XboardLoop::newGame(const char*) {
    game_.stopSearch();
    game_.newGame();
    game_.enginePlays = 1;
    game_.setEngineSide(BLACK);
    game_.setTimeControl(0, 0, 5000);
    game_.setMaxDepth(DEFAULT_MAX_DEPTH);
    return true;
}
bool XboardLoop::go(const char*) {
    game_.enginePlays = 1;
    game_.setEngineSide(game_.currentBoard().toMove);
    for (int player : {0, 1})
        if (reportedMs_[player]) game_.setClock(player, *reportedMs_[player]);
    game_.thinkAndMakeBestMove();
    return true;
}
bool XboardLoop::selfPlay(const char*) {
    game_.startSelfPlay();
    return true;
}
bool XboardLoop::ping(const char* line) {
    say("pong %d\n", numberAt(line, 5));
    return true;
}
bool XboardLoop::depth(const char* line) {
    game_.setMaxDepth(clampDepth(numberAt(line, 3)));
    return true;
}
bool XboardLoop::time(const char* line) {
    reportedMs_[0] = saturatedProduct(numberAt(line, 5), 10);
    game_.setClock(0, *reportedMs_[0]);
    return true;
}
bool XboardLoop::otim(const char* line) {
    reportedMs_[1] = saturatedProduct(numberAt(line, 5), 10);
    game_.setClock(1, *reportedMs_[1]);
    return true;
}
bool XboardLoop::secondsPerMove(const char* line) {
    game_.setTimeControl(0, 0, saturatedProduct(numberAt(line, 3), 1000));
    return true;
}
bool XboardLoop::moveNow(const char*) {
    game_.moveNow();
    return true;
}
bool XboardLoop::bench(const char* line) {
    game_.enginePlays = 1;
    if (line[5] == ' ') {
        game_.bench(clampDepth(numberAt(line, 6)), BENCH_GIVEN_DEPTH_MS);
    } else {
        game_.bench(BENCH_DEPTH, BENCH_MS);
    }
    return true;
}
bool XboardLoop::mp(const char*) {
    game_.enginePlays = 1;
    return true;
}
bool XboardLoop::protover(const char*) {
    say("feature myname=%c%s%c\n", '"', engineId, '"');
    say("feature sigint=0\n");
    say("feature sigterm=0\n");
    say("feature variants=normal\n");
    say("feature ping=1\n");
    say("feature setboard=1\n");
    say("feature done=1\n");
    return true;
}
bool XboardLoop::level(const char* line) {
    LevelParameters l = parseLevel(line);
    say("moves=%d starttime=%d inc=%d\n", l.moves, l.baseMs, l.incMs);
    game_.setTimeControl(l.moves, l.baseMs, l.incMs);
    return true;
}
bool XboardLoop::move(const char* line) {
    if (game_.applyUserMove(line) && game_.enginePlays) game_.thinkAndMakeBestMove();
    restartAnalysis();
    return true;
}

} // namespace

int runXboard(LineReader& input, char* line, const char* programPath) {
    say("feature done=0\n");
    if (const char* note = settingsFileNote()) say("%s\n", note);
    GameController game(engineId, programPath);
    if (!game.usable()) return 1;
    game.setTimeControl(0, 0, 5000);
    game.setMaxDepth(DEFAULT_MAX_DEPTH);
    XboardLoop loop(game);
    if (!loop.handle(line)) return 0;
    for (;;) {
        // Self-play goes on while no command waits.
        while (game.selfPlaying() && !input.waitForInput(0))
            game.continueSelfPlay(SELF_PLAY_POLL_MS);
        if (!input.readLine(line)) break;
        game.applyEngineMove();
        if (!loop.handle(line)) return 0;
    }
    // End of input: as "quit".
    game.endSelfPlay();
    game.quit();
    return 0;
}
