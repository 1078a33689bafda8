// The xboard (CECP) dialogue: one command per line, matched in a fixed order
// against the start of the line. The engine's moves ("move ...") come from
// the search controller; the loop plays them on its own board when the next
// line arrives.
#include <cstdio>
#include <cstring>

#include "app/command_args.h"
#include "app/game_controller.h"
#include "app/identity.h"
#include "app/line_reader.h"
#include "app/output.h"
#include "app/protocols.h"
#include "board/settings_file.h"

namespace {

bool startsWith(const char* line, const char* prefix) {
    return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

int numberAt(const char* line, int offset) {
    return readNumber(argumentAt(line, offset));
}

void notAvailable(const char* what) {
    say("%s is not available in this build.\n", what);
}

void printFeatures() {
    say("feature myname=%c%s%c\n", '"', engineId, '"');
    say("feature sigint=0\n");
    say("feature sigterm=0\n");
    say("feature variants=normal\n");
    say("feature ping=1\n");
    say("feature setboard=1\n");
    say("feature done=1\n");
}

class XboardLoop {
  public:
    explicit XboardLoop(GameController& game) : game_(game) {}
    // Handles one line; false on "quit".
    bool handle(const char* line);

  private:
    void restartAnalysis() {
        if (analyzing_) game_.startPonderTask(TASK_PONDER);
    }

    GameController& game_;
    bool analyzing_ = false;
};

bool XboardLoop::handle(const char* line) {
    GameController& g = game_;
    if (startsWith(line, "quit")) {
        g.quit();
        return false;
    } else if (line[0] == '.') {
        g.printStat01();
    } else if (startsWith(line, "xboard")) {
    } else if (startsWith(line, "tunele")) {
        notAvailable("tunele");
    } else if (startsWith(line, "benchepd")) {
        notAvailable("benchepd");
    } else if (startsWith(line, "tune")) {
        notAvailable("tune");
    } else if (startsWith(line, "speed ")) {
        g.enginePlays = 1;
        notAvailable("speed");
    } else if (startsWith(line, "accepted") || startsWith(line, "rejected") ||
               startsWith(line, "random")) {
    } else if (startsWith(line, "result")) {
        g.stopSearch();
    } else if (startsWith(line, "analyze")) {
        g.enginePlays = 0;
        g.stopClock();
        g.setPonderEnabled(1);
        analyzing_ = true;
        restartAnalysis();
    } else if (startsWith(line, "exit")) {
        g.stopSearch();
        analyzing_ = false;
    } else if (startsWith(line, "hard")) {
        g.setPonderEnabled(1);
    } else if (startsWith(line, "easy")) {
        g.setPonderEnabled(0);
    } else if (startsWith(line, "undo")) {
        g.enginePlays = 0;
        g.stopClock();
        g.stopSearch();
        g.undoMove();
        restartAnalysis();
    } else if (startsWith(line, "post")) {
        g.setPost(1);
    } else if (startsWith(line, "nopost")) {
        g.setPost(0);
    } else if (startsWith(line, "hint")) {
        g.printHint();
    } else if (startsWith(line, "setboard")) {
        // A running search belongs to the old position: stop it first.
        g.stopSearch();
        const char* fen = argumentAt(line, 9);
        if (!g.setPosition(fen)) {
            say("Error (illegal position): %.*s\n", static_cast<int>(std::strcspn(fen, "\r\n")),
                fen);
        }
        restartAnalysis();
    } else if (startsWith(line, "force")) {
        g.enginePlays = 0;
        g.stopSearch();
        g.stopClock();
    } else if (startsWith(line, "white")) {
        g.setSideToMove(WHITE);
        g.stopClock();
    } else if (startsWith(line, "black")) {
        g.setSideToMove(BLACK);
        g.stopClock();
    } else if (startsWith(line, "playothe")) {
        g.playOther();
    } else if (startsWith(line, "new")) {
        g.stopSearch();
        g.newGame();
        g.enginePlays = 1;
        g.setEngineSide(BLACK);
        g.setTimeControl(0, 0, 5000);
        g.setMaxDepth(DEFAULT_MAX_DEPTH);
    } else if (startsWith(line, "go")) {
        g.enginePlays = 1;
        g.setEngineSide(g.currentBoard().toMove);
        g.thinkAndMakeBestMove();
    } else if (startsWith(line, "auto")) {
        g.autoPlay();
    } else if (startsWith(line, "ping")) {
        say("pong %d\n", numberAt(line, 5));
    } else if (startsWith(line, "sd ")) {
        g.setMaxDepth(clampDepth(numberAt(line, 3)));
    } else if (startsWith(line, "time")) {
        g.setClock(0, saturatedProduct(numberAt(line, 5), 10));
    } else if (startsWith(line, "otim")) {
        g.setClock(1, saturatedProduct(numberAt(line, 5), 10));
    } else if (startsWith(line, "st ")) {
        g.setTimeControl(0, 0, saturatedProduct(numberAt(line, 3), 1000));
    } else if (line[0] == '?') {
        g.moveNow();
    } else if (startsWith(line, "bench ")) {
        g.enginePlays = 1;
        notAvailable("bench");
    } else if (startsWith(line, "bench")) {
        g.enginePlays = 1;
        notAvailable("bench");
    } else if (startsWith(line, "mp")) {
        g.enginePlays = 1;
    } else if (startsWith(line, "protover")) {
        printFeatures();
    } else if (startsWith(line, "level")) {
        LevelParameters l = parseLevel(line);
        say("moves=%d starttime=%d inc=%d\n", l.moves, l.baseMs, l.incMs);
        g.setTimeControl(l.moves, l.baseMs, l.incMs);
    } else if (line[0] >= 'a' && line[0] <= 'h' && line[1] >= '1' && line[1] <= '8') {
        if (g.applyUserMove(line) && g.enginePlays) g.thinkAndMakeBestMove();
        restartAnalysis();
    } else {
        say("Error: (unknown command):%s\n", line);
    }
    return true;
}

} // namespace

int runXboard(LineReader& input, char* line, const char* programPath) {
    say("feature done=0\n");
    GameController game(engineId, programPath);
    if (!game.usable()) return 1;
    game.setTimeControl(0, 0, 5000);
    game.setMaxDepth(DEFAULT_MAX_DEPTH);
    XboardLoop loop(game);
    if (!loop.handle(line)) return 0;
    while (input.readLine(line)) {
        game.applyEngineMove();
        if (!loop.handle(line)) return 0;
    }
    // End of input: as "quit".
    game.quit();
    return 0;
}
