// The front end's game: the position and its moves, the clock, and the hand-
// over of tasks to search process 0 (the search controller), which searches
// and announces the engine's moves itself. The front end never searches.
#pragma once

#include <sys/types.h>

#include "board/board.h"
#include "book/tarvok_book.h"
#include "eval/evalhash.h"
#include "search/shared_state.h"
#include "search/tt.h"
#include "smp/hash_tables.h"
#include "smp/limits.h"
#include "smp/platform.h"

inline constexpr int START_FEN_SIZE = 100;
// The time limit of a ponder search: it runs until it is stopped.
inline constexpr std::int32_t PONDER_TIME_LIMIT = 10000000;

class GameController {
  public:
    // Builds the shared objects, reads the settings file and starts the search
    // processes. programPath is the front end's own first command-line word;
    // protocol says how its own messages are written (UCI: "info string ").
    GameController(const char* identity, const char* programPath, int protocol = PROTOCOL_XBOARD);
    // Ends the search processes (killing those that do not end within a
    // second) and releases the shared objects.
    ~GameController();
    GameController(const GameController&) = delete;
    GameController& operator=(const GameController&) = delete;

    // False when a shared table or the shared state could not be had (the
    // failure line is printed): nothing can run then.
    bool usable() const { return ready; }
    // "quit": stops the running task and waits for its end, but not longer
    // than a moment, whatever state the search processes are in.
    void quit();
    // Whether search process 0 still runs; when it died, says so in one
    // line and starts the search processes again, handing a task it had not
    // finished over anew. Runs while the front end waits for input.
    void watchSearchProcesses();

    // ---- The game ----
    void newGame();
    // Sets up the FEN text; false (and nothing changed) for a position the
    // search cannot play from.
    bool setPosition(const char* text);
    void setSideToMove(int side);
    // Undoes the last move by replaying the game from its set-up position.
    void undoMove();

    // ---- Clock and limits ----
    void setTimeControl(int movesToGo, int timeMs, int incrementMs);
    void setClock(int who, int ms); // 0 the engine, 1 the opponent
    void setWhiteClock(int ms);
    void setBlackClock(int ms);
    void startClock(int who);
    void stopClock();
    void setEngineSide(int side);
    void setMaxDepth(int depth);
    void setPost(int on);
    void setProtocol(int protocol);
    // 1 tablebases, 2 null move, 3 late-move reduction, 4 book, 5 extensions,
    // 6 futility; other numbers change nothing.
    void setSwitch(int number, int on);
    void setPonderEnabled(int on);

    // ---- Tasks of the search controller ----
    // Switches the running task off and waits for its end: a search stopped
    // this way announces nothing.
    void stopSearch();
    // UCI: ends the running task so that its move is still announced, before
    // anything else is printed: a search by the controller's "bestmove", a
    // ponder search of the given position by printPonderBestmove.
    void finishSearch();
    // Plays the engine's move: at once from a ponder hit, otherwise by handing
    // a search to the controller. Returns 0 when a move it played itself
    // ended the game, else 1.
    int thinkAndMakeBestMove();
    // Set for a search that must not end in a book move (UCI "go infinite").
    bool searchOnly = false;
    // Hands over a ponder task (2: guess the reply first, 3: the position as
    // it is) when pondering is on.
    void startPonderTask(int code);
    void playOther();
    // Plays the text's move; 0 (with "Error (ambiguous move): ") when it is
    // not a legal move.
    int applyUserMove(const char* text);
    // Makes the controller's last move on the game's board.
    void applyEngineMove();
    // The search ends at its next time check; a UCI ponder search of the
    // given position is waited for and its move announced.
    void moveNow();
    // "bestmove" with the last ponder search's move (any legal move when it
    // had none).
    void printPonderBestmove();
    void printHint();
    void printStat01();
    void clearTables();
    // Self-play at one second a move until the game ends. It runs beside the
    // command loop: startSelfPlay hands over the first move, and
    // continueSelfPlay, called while no input waits, plays each move the
    // controller has found (waiting at most timeoutMs) and starts the next.
    void startSelfPlay();
    void continueSelfPlay(int timeoutMs);
    // Stops the self-play search and puts pondering back as it was.
    void endSelfPlay();
    bool selfPlaying() const { return selfPlaying_; }

    // ---- Developer tasks (app/bench.cpp) ----
    // Hands a developer tool to the controller (4 tuning, 5 the depth scan,
    // 6 the EPD suite) with the number given after its command (0: the
    // tool's default), after ending a running task.
    void startToolTask(int code, int argument);
    // Searches the three built-in positions to depth with limitMs each and
    // prints nodes, time and speed. Pondering is off meanwhile; the game goes
    // on from the last position, with the controller's move made at the next
    // line.
    void bench(int depth, int limitMs);
    // The same over the positions of "!benchSpeed.txt" ("-" and "+" lines
    // skipped), each with 1,000,000 ms.
    void benchSpeed(int depth);

    const Board& currentBoard() const { return board; }
    int state() const { return searchState; }
    int enginePlays = 1;

  private:
    // Copies the position to the controller and starts task code.
    void handOver(int code);
    // One benchmark position: the FEN set up, a code-1 search to its end;
    // adds its nodes to nodes. False (nothing searched) for a refused FEN.
    bool benchPosition(const char* fen, int limitMs, std::int64_t& nodes);
    // A tool task runs: "?" leaves it alone.
    bool toolRunning() const;
    // Waits for the end of the task handed over, if any (it is not stopped).
    void endTask();
    // True when no task runs or it ends within timeoutMs (or process 0 is
    // gone for good).
    bool taskHasEnded(int timeoutMs);
    void playSelfPlayMove();
    // Every wait of the front end on search process 0: until it signals the
    // end of its task (true), or it is gone for good, or limitMs passed
    // (false). When it dies meanwhile, the processes are started again and
    // an unfinished task is handed over anew, and the wait goes on.
    bool awaitTaskEnd(int limitMs = platform::NO_TIMEOUT);
    bool isLegal(Move move) const;
    void printBoardIfPosting() const;
    // Says how making a hash table went: false (with the failure line) when
    // even its smallest size could not be had, one line when it was made
    // smaller than asked.
    bool tableMade(const char* name, const TableMade& made);
    // Waits while process 0 has not attached and still runs and makes
    // progress. False when it ended first (reported and counted out).
    bool waitForSearchProcesses();
    // A process that ended before it attached: reported in one line (once)
    // and counted out. False for one that runs or has attached.
    bool endedBeforeAttaching(int number);
    // Takes a further piece of the hash tables' memory (they are made
    // without it, so that the engine is ready at once); says so once if
    // that fails.
    void reserveTables();
    // Process 0 died: returns whether a task was handed over anew.
    bool restartSearchProcesses();
    // A message of the engine's own, in the protocol's style.
    void tell(const char* format, ...) __attribute__((format(printf, 2, 3)));

    platform::NamedEvent startSearchEvent;
    platform::NamedEvent searchEndedEvent;
    int processCount = 1;
    char startFen[START_FEN_SIZE] = {};
    TarvokBook book;
    EvalHash evalHash;
    platform::SharedMapping evalHashMapping;
    platform::SharedMapping sharedMapping; // its view is pShared
    Board board{};
    int searchState = 0;
    TranspositionTable tt;
    platform::SharedMapping ttMapping;
    pid_t searchPids[MAX_SEARCH_PROCESSES] = {};
    int started = 0;
    bool selfPlaying_ = false;
    std::int32_t savedPonder_ = 0;
    int selfPlayPly_ = 0;
    std::uint64_t reserved[2] = {}; // bytes of the tables' memory taken: eval hash, table
    const char* programPath;
    int messageProtocol;
    bool ready = false;
};
