// The UCI dialogue: the option phase, which ends in the settings file and the
// game controller, and the command loop. The engine's moves ("bestmove") and
// thinking lines come from the search controller, not from this loop.
#include <cstdio>
#include <cstring>

#include "app/command_args.h"
#include "app/game_controller.h"
#include "app/identity.h"
#include "app/line_reader.h"
#include "app/output.h"
#include "app/protocols.h"
#include "app/settings.h"

namespace {

// The time limit of "go infinite" and of a "go" without a clock.
constexpr int UNLIMITED_MS = 99999999;

// Length of the text before its line end.
std::size_t lineLength(const char* text) {
    return std::strcspn(text, "\r\n");
}

// The on/off options that the command loop applies directly.
void applyInGameOption(GameController& game, const char* text) {
    struct Switch {
        const char* name;
        int number; // setSwitch number, 0 for pondering
    };
    static constexpr Switch switches[] = {
        {"Ponder", 0},
        {"EGTB", 1},
        {"Extentions", 5},
        {"Null-move Pruning", 2},
        {"Late-move Pruning", 3},
        {"Futility Pruning", 6},
        {"OwnBook", 4},
    };
    const std::size_t len = lineLength(text);
    for (const Switch& s : switches) {
        for (int on = 0; on <= 1; ++on) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%s value %s", s.name, on ? "true" : "false");
            if (len == std::strlen(expected) && std::strncmp(text, expected, len) == 0) {
                if (s.number == 0) {
                    game.setPonderEnabled(on);
                } else {
                    game.setSwitch(s.number, on);
                }
                return;
            }
        }
    }
}

void setUpPosition(GameController& game, const char* line) {
    if (startsWith(line, "position startpos")) {
        game.newGame();
    } else if (startsWith(line, "position fen ")) {
        const char* fen = line + 13;
        if (!game.setPosition(fen)) {
            say("info string Error (illegal position): %.*s\n", static_cast<int>(lineLength(fen)),
                fen);
            return; // neither the position nor its moves are taken
        }
    }
    const char* p = line;
    while (*p && *p != 'm' && *p != '\n' && *p != '\r') ++p;
    if (!startsWith(p, "moves ")) return;
    p += 6;
    while (*p && *p != '\n' && *p != '\r') {
        if (!game.applyUserMove(p)) return;
        while (*p && *p != ' ' && *p != '\n' && *p != '\r') ++p;
        while (*p == ' ') ++p;
    }
}

void go(GameController& game, const char* line) {
    GoParameters g = parseGo(line);
    const int side = game.currentBoard().toMove;
    // A ponder search takes the limits too: they are the ones of the move
    // that "ponderhit" turns it into.
    if (g.infinite) {
        game.setTimeControl(0, 0, UNLIMITED_MS);
        if (!g.ponder) game.clearTables();
    } else if (g.movetime != 0) {
        game.setTimeControl(0, 0, g.movetime);
    } else if (!g.timeGiven) {
        // No clock in the command: no time limit (a depth may still end it);
        // a level left by an earlier "go" does not count.
        game.setTimeControl(0, 0, UNLIMITED_MS);
    } else {
        const int time = side == WHITE ? g.wtime : g.btime;
        const int increment = side == WHITE ? g.winc : g.binc;
        // Moves to go beside an increment has no level of its own: the
        // increment counts.
        game.setTimeControl(increment != 0 ? 0 : g.movestogo, time, increment);
        game.setWhiteClock(g.wtime);
        game.setBlackClock(g.btime);
    }
    if (g.depthGiven) game.setMaxDepth(g.depth);
    if (g.ponder) {
        game.setPonderEnabled(1);
        game.startPonderTask(TASK_PONDER_GIVEN);
        return;
    }
    game.enginePlays = 1;
    game.setEngineSide(side);
    game.searchOnly = g.infinite;
    game.thinkAndMakeBestMove();
}

} // namespace

int runUci(LineReader& input, char* line, const char* programPath) {
    printUciIdentification(stdout, engineId);
    UciOptionValues values;
    bool more = input.readLine(line);
    while (more && startsWith(line, "setoption")) {
        applyUciSetoption(values, line);
        more = input.readLine(line);
    }
    if (!more) return 0; // the GUI went away before the game began
    writeSettings(values, engineId);
    if (const char* note = settingsFileNote()) say("info string %s\n", note);

    GameController game(engineId, programPath, PROTOCOL_UCI);
    if (!game.usable()) return 1;
    game.setProtocol(PROTOCOL_UCI);
    game.setTimeControl(0, 0, 5000);
    game.setMaxDepth(DEFAULT_MAX_DEPTH);

    // A search that a command ends still announces its move first: every
    // "go" gets exactly one "bestmove", and before any output of the next.
    do {
        if (startsWith(line, "quit")) {
            break;
        } else if (startsWith(line, "isready")) {
            say("readyok\n");
        } else if (startsWith(line, "ucinewgame")) {
            game.enginePlays = 0;
            game.stopClock();
            game.finishSearch();
        } else if (startsWith(line, "position")) {
            game.enginePlays = 0;
            game.stopClock();
            game.finishSearch();
            setUpPosition(game, line);
        } else if (startsWith(line, "stop")) {
            game.finishSearch();
        } else if (startsWith(line, "ponderhit")) {
            game.enginePlays = 1;
            game.setEngineSide(game.currentBoard().toMove);
            game.searchOnly = false; // the engine's own move: the book may answer
            game.thinkAndMakeBestMove();
        } else if (startsWith(line, "setoption name ")) {
            applyInGameOption(game, line + 15);
        } else if (startsWith(line, "go")) {
            game.finishSearch();
            go(game, line);
        }
    } while (input.readLine(line));
    // "quit" and the end of input end the engine alike.
    game.quit();
    return 0;
}
