#include "app/game_controller.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/announce.h"
#include "app/book_move.h"
#include "app/line_reader.h"
#include "app/output.h"
#include "app/position_check.h"
#include "app/settings.h"
#include "board/gameend.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/repetition.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "smp/hash_tables.h"
#include "smp/locks.h"
#include "smp/search_process.h"
#include "smp/split.h"

namespace {

// Process 0, started and not attached yet, is waited for as long as it runs
// or uses processor time; this long without either, the front end goes on
// without it (its objects stay, it may attach later).
constexpr int ATTACH_STALL_MS = 2000;
// How often the front end looks at process 0 while it waits on it.
constexpr int WATCH_MS = 200;
// At quit: how long the running task may take to end, and the search
// processes to leave, before they are killed.
constexpr int QUIT_TASK_MS = 600;
constexpr int REAP_TIMEOUT_MS = 1000;
// How much of the hash tables' memory the front end reserves at a time.
constexpr std::uint64_t RESERVE_STEP_BYTES = std::uint64_t{64} << 20;

void watchHook(void* game) {
    static_cast<GameController*>(game)->watchSearchProcesses();
}

unsigned long long megabytes(std::uint64_t bytes) {
    return static_cast<unsigned long long>(bytes >> 20);
}

} // namespace

GameController::GameController(const char* identity, const char* programPath, int protocol)
    : programPath(programPath), messageProtocol(protocol) {
    openGlobalLocks(identity, FRONT_END_PROCESS);
    // 1-2: the book object is a member; the evaluation hash.
    if (!tableMade(EVAL_HASH_MAPPING_PREFIX,
                   makeEvalHash(evalHash, evalHashMapping, identity, evalHashEntries())))
        return;
    // 3: the shared state.
    if (!openSharedState(sharedMapping, identity)) return;
    SharedState& s = *pShared;
    // 4: board and evaluation tables (the material values come from the settings file).
    initEvaluation(&evalHash);
    initBoardTables(&s.ordering, board);
    // 5: the transposition table.
    if (!tableMade(TT_MAPPING_PREFIX,
                   makeTranspositionTable(tt, ttMapping, identity, transpositionEntries())))
        return;
    // 6-7: a new game and the defaults.
    newGame();
    setSharedDefaults(s);
    enginePlays = 1;
    searchState = 0;
    setTimeControl(1, 1000, 0);
    // 8: the task events.
    if (!createTaskEvents(startSearchEvent, searchEndedEvent, identity)) {
        say("ERROR! Could not create the task events.\n");
    }
    // 9-10: the settings file; what the search processes need of it is handed
    // to them in the shared state.
    processCount = 1;
    FrontEndSettings settings;
    readFrontEndSettings(settings, book, stdout);
    s.ponderEnabled = settings.ponderEnabled;
    s.useEgtb = settings.useEgtb;
    s.useNullMove = settings.useNullMove;
    s.useLateMoveReduction = settings.useLateMoveReduction;
    s.useFutility = settings.useFutility;
    s.useBook = settings.useBook;
    s.useExtensions = settings.useExtensions;
    processCount = settings.processCount;
    s.settings.material = material;
    readInstanceSettings(s.settings);
    // 11-12: the search processes.
    s.numProcesses = processCount;
    say("Using %d processor%s\n", processCount - 1, processCount > 2 ? "s" : "");
    resetProcessRecords(s);
    started = startSearchProcesses(programPath, processCount, searchPids);
    ready = true;
    // Without process 0 (a broken tablebase file ends it at registration)
    // no move would ever come: the engine ends rather than lose on time.
    if (!waitForSearchProcesses()) {
        tell("The engine cannot search without it and ends.");
        ready = false;
        return;
    }
    setInputIdleHook(watchHook, this);
}

bool GameController::tableMade(const char* name, const TableMade& made) {
    if (made.status != platform::MapStatus::Ok) {
        printTableFailure(name, made.status);
        return false;
    }
    if (made.bytesGot < made.bytesAsked) {
        tell("Could not get %llu MB for %s, using %llu MB.", megabytes(made.bytesAsked), name,
             megabytes(made.bytesGot));
    }
    return true;
}

void GameController::tell(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    say("%s%s\n", messageProtocol == PROTOCOL_UCI ? "info string " : "", text);
}

bool GameController::endedBeforeAttaching(int i) {
    if (searchPids[i] <= 0 || sharedLoad(pShared->attached[i])) return false;
    if (platform::processRuns(searchPids[i]) || sharedLoad(pShared->attached[i])) return false;
    tell("Search process %d ended before it started working.", i);
    platform::waitForExit(searchPids[i], 100);
    searchPids[i] = -1;
    return true;
}

bool GameController::waitForSearchProcesses() {
    // Only process 0 answers the front end; the slaves are watched later.
    std::uint64_t lastTicks = 0;
    std::int32_t lastProgress = nowMs();
    while (searchPids[0] > 0 && !sharedLoad(pShared->attached[0])) {
        if (endedBeforeAttaching(0)) return false;
        std::uint64_t ticks = 0;
        const std::int32_t now = nowMs();
        if (platform::processActivity(searchPids[0], &ticks) == platform::Activity::Running ||
            ticks != lastTicks) {
            lastTicks = ticks;
            lastProgress = now;
        }
        if (msBetween(lastProgress, now) >= ATTACH_STALL_MS) return true;
        platform::sleepMs(1);
    }
    return true;
}

void GameController::reserveTables() {
    struct Table {
        platform::SharedMapping& mapping;
        const char* name;
    } tables[] = {{evalHashMapping, EVAL_HASH_MAPPING_PREFIX}, {ttMapping, TT_MAPPING_PREFIX}};
    for (int t = 0; t < 2; ++t) {
        platform::SharedMapping& m = tables[t].mapping;
        if (reserved[t] >= m.bytes) continue;
        int error = platform::reserveMapping(m, reserved[t], RESERVE_STEP_BYTES);
        if (error != 0) {
            tell("Could not reserve the memory of %s (%s): it is taken as the table fills.",
                 tables[t].name, std::strerror(error));
            reserved[t] = m.bytes;
            continue;
        }
        reserved[t] += RESERVE_STEP_BYTES;
        return; // one piece at a time
    }
}

void GameController::watchSearchProcesses() {
    if (!ready) return;
    reserveTables();
    for (int i = 1; i < processCount && i < MAX_SEARCH_PROCESSES; ++i) endedBeforeAttaching(i);
    if (searchPids[0] > 0 && !platform::processRuns(searchPids[0])) restartSearchProcesses();
}

bool GameController::restartSearchProcesses() {
    SharedState& s = *pShared;
    const bool taskEnded = searchEndedEvent.wait(0) == platform::WaitResult::Acquired;
    if (endedBeforeAttaching(0)) {
        // It could not start: starting it again would only fail again.
        searchState = 0;
        return false;
    }
    platform::waitForExit(searchPids[0], 1000);
    tell("Search process 0 ended; starting the search processes again.");
    for (int i = 1; i < processCount && i < MAX_SEARCH_PROCESSES; ++i) {
        if (searchPids[i] <= 0) continue;
        platform::killProcess(searchPids[i]);
        platform::waitForExit(searchPids[i], 1000);
    }
    resetProcessRecords(s);
    // A tool search that was running had set the count to 1 for itself.
    s.numProcesses = processCount;
    while (startSearchEvent.wait(0) == platform::WaitResult::Acquired) {
    }
    started = startSearchProcesses(programPath, processCount, searchPids);
    // A task whose end was signalled, or whose move was played already, is
    // over; any other starts again on the position it was given (rootBoard
    // and the stopwatch are as they were).
    const std::int32_t task = sharedLoad(s.allSearchprocesEnabled);
    const bool played = task == TASK_THINK && sharedLoad(s.engineMove) != NO_MOVE;
    if (searchState == 0 || taskEnded || played) {
        searchState = 0;
        return false;
    }
    startSearchEvent.signal();
    return true;
}

GameController::~GameController() {
    setInputIdleHook(nullptr, nullptr);
    // 1: end the search processes.
    if (pShared && started > 0) {
        sharedStore(pShared->running, 0);
        startSearchEvent.signal();
        int count = processCount < MAX_SEARCH_PROCESSES ? processCount : MAX_SEARCH_PROCESSES;
        reapSearchProcesses(searchPids, count, REAP_TIMEOUT_MS);
    }
    // 2-4: the transposition table, the shared state, the evaluation hash.
    closeTranspositionTable(tt, ttMapping);
    closeSharedState(sharedMapping);
    closeEvalHash(evalHash, evalHashMapping);
    startSearchEvent.close();
    searchEndedEvent.close();
}

// ---- The game ----

void GameController::printBoardIfPosting() const {
    if (sharedLoad(pShared->postThinking) && sharedLoad(pShared->protocol) != PROTOCOL_UCI) {
        printBoardLocked(board);
    }
}

void GameController::newGame() {
    std::strcpy(startFen, START_FEN);
    setStartPosition(board);
    pShared->gameStartPly = board.gamePly;
    pShared->ponderKey = 0;
    printBoardIfPosting();
}

bool GameController::setPosition(const char* text) {
    if (!loadPlayablePosition(board, text)) return false;
    // The FEN as the game was set up, its impossible rights dropped.
    char fen[FEN_BUFFER_SIZE];
    writeFen(board, fen);
    std::size_t n = std::strlen(fen);
    if (n > START_FEN_SIZE - 1) n = START_FEN_SIZE - 1;
    std::memcpy(startFen, fen, n);
    startFen[n] = 0;
    pShared->gameStartPly = board.gamePly;
    pShared->ponderKey = 0;
    printBoardIfPosting();
    return true;
}

void GameController::setSideToMove(int side) {
    ::setSideToMove(board, side);
}

void GameController::undoMove() {
    const int n = board.gamePly;
    const int startPly = pShared->gameStartPly;
    if (n <= startPly) {
        say("Cannot undo!\n");
        return;
    }
    setFromFen(board, startFen);
    pShared->gameStartPly = board.gamePly;
    printBoardIfPosting();
    for (int ply = board.gamePly; ply < n - 1; ++ply) {
        Move m = pShared->gameMoves[gameMoveSlot(ply)];
        if (!isLegalMove(board, m)) break; // never replay a corrupt record
        makeMove(board, m);
    }
    clearTables();
    if (sharedLoad(pShared->postThinking)) {
        printBoardLocked(board);
    }
}

// ---- Clock and limits ----

void GameController::setTimeControl(int movesToGo, int timeMs, int incrementMs) {
    pShared->maxDepth = DEFAULT_MAX_DEPTH;
    pShared->gameClock.setLevel(movesToGo, timeMs, incrementMs);
}
void GameController::setClock(int who, int ms) {
    pShared->gameClock.setRemaining(who, ms);
}
void GameController::setWhiteClock(int ms) {
    pShared->gameClock.setClockRemaining(0, ms);
}
void GameController::setBlackClock(int ms) {
    pShared->gameClock.setClockRemaining(1, ms);
}
void GameController::startClock(int who) {
    pShared->gameClock.press(who);
}
void GameController::stopClock() {
    pShared->gameClock.stop();
}
void GameController::setEngineSide(int side) {
    pShared->gameClock.setEngineSide(side);
}
void GameController::setMaxDepth(int depth) {
    sharedStore(pShared->maxDepth, depth);
}
void GameController::setPost(int on) {
    sharedStore(pShared->postThinking, on);
}
void GameController::setProtocol(int protocol) {
    sharedStore(pShared->protocol, protocol);
}
void GameController::setPonderEnabled(int on) {
    sharedStore(pShared->ponderEnabled, on);
}

void GameController::setSwitch(int number, int on) {
    std::int32_t* field = nullptr;
    switch (number) {
    case 1:
        field = &pShared->useEgtb;
        break;
    case 2:
        field = &pShared->useNullMove;
        break;
    case 3:
        field = &pShared->useLateMoveReduction;
        break;
    case 4:
        field = &pShared->useBook;
        break;
    case 5:
        field = &pShared->useExtensions;
        break;
    case 6:
        field = &pShared->useFutility;
        break;
    default:
        return;
    }
    sharedStore(*field, on);
}

// ---- Tasks ----

void GameController::handOver(int code) {
    SharedState& s = *pShared;
    markDeadProcessesGone(s); // a dead slave is never claimed again
    s.rootBoard = board;
    s.rootRing = repetitionRing;
    sharedStore(s.allSearchprocesEnabled, code);
    startSearchEvent.signal();
}

bool GameController::awaitTaskEnd(int limitMs) {
    const std::int32_t begin = nowMs();
    for (;;) {
        int slice = WATCH_MS;
        if (limitMs >= 0) slice = std::clamp(limitMs - msBetween(begin, nowMs()), 0, WATCH_MS);
        platform::WaitResult r = searchEndedEvent.wait(slice);
        if (r == platform::WaitResult::Acquired) return true;
        if (r == platform::WaitResult::Failed || searchPids[0] <= 0) return false;
        if (!platform::processRuns(searchPids[0]) && !restartSearchProcesses()) {
            return searchState == 0; // ended before it died, or gone for good
        }
        if (limitMs >= 0 && msBetween(begin, nowMs()) >= limitMs) return false;
    }
}

bool GameController::taskHasEnded(int timeoutMs) {
    if (searchState == 0) return true;
    // Not ended within the time, and process 0 still there to end it.
    if (!awaitTaskEnd(timeoutMs) && searchPids[0] > 0 && platform::processRuns(searchPids[0]))
        return false;
    searchState = 0;
    return true;
}

void GameController::endTask() {
    if (searchState != 0) {
        awaitTaskEnd();
        sharedStore(pShared->engineMove, NO_MOVE);
    }
    searchState = 0;
}

void GameController::quit() {
    enginePlays = 0;
    if (searchState != 0) {
        // A UCI search still answers its "go" at quit, as on "stop", when it
        // can within the time; an xboard task is switched off.
        const bool uci = sharedLoad(pShared->protocol) == PROTOCOL_UCI;
        const bool ponderGiven = searchState == 3;
        if (uci)
            pShared->timer1.setLimit(0);
        else
            sharedStore(pShared->allSearchprocesEnabled, static_cast<std::int32_t>(TASK_STOP));
        if (awaitTaskEnd(QUIT_TASK_MS)) {
            if (uci && ponderGiven) printPonderBestmove();
        } else {
            sharedStore(pShared->allSearchprocesEnabled, static_cast<std::int32_t>(TASK_STOP));
        }
    }
    searchState = 0;
}

void GameController::stopSearch() {
    if (searchState != 0) {
        sharedStore(pShared->allSearchprocesEnabled, static_cast<std::int32_t>(TASK_STOP));
    }
    endTask();
}

void GameController::finishSearch() {
    if (searchState == 0) return;
    const bool ponderGiven = searchState == 3;
    pShared->timer1.setLimit(0);
    endTask();
    if (ponderGiven) printPonderBestmove();
}

bool GameController::isLegal(Move move) const {
    return isLegalMove(board, move);
}

int GameController::thinkAndMakeBestMove() {
    SharedState& s = *pShared;
    if (sharedLoad(s.postThinking)) {
        lockOutput();
        say("start thinkAndMakeBestMove\n");
        unlockOutput();
    }
    stopSearch();

    std::int32_t t = s.gameClock.timeForNextMove(0);
    startClock(0);

    Move hit =
        bookMoveFor(book, board, sharedLoad(s.useBook) && !searchOnly, sharedLoad(s.protocol));
    if (hit == NO_MOVE && sharedLoad(s.ponderEnabled) && board.boardkey == s.ponderKey) {
        std::int32_t e = msBetween(s.ponderStart, nowMs());
        if (e < static_cast<std::int64_t>(t) * 8 / 10) {
            t -= e;
        } else if (isLegal(s.ponderResult)) {
            hit = s.ponderResult;
        }
    }
    s.ponderKey = 0; // a ponder result counts once

    if (sharedLoad(s.postThinking)) {
        lockOutput();
        say("===========time next move: %d ms===========\n", t);
        unlockOutput();
    }

    if (hit != NO_MOVE) {
        s.gameMoves[gameMoveSlot(board.gamePly)] = hit;
        makeMove(board, hit);
        announceMove(hit, board, tt);
        // The board after the move, in both protocols, as the controller
        // prints it after a searched move.
        const bool ended = checkGameEnd(board);
        if (sharedLoad(s.postThinking)) printBoardLocked(board);
        if (ended) {
            stopClock();
            return 0;
        }
        startClock(1);
        if (!sharedLoad(s.ponderEnabled)) return 1;
        s.timer1.setLimit(PONDER_TIME_LIMIT);
        s.timer1.start();
        handOver(TASK_PONDER);
    } else {
        s.timer1.setLimit(t);
        s.timer1.start();
        handOver(TASK_THINK);
    }
    searchState = 1;
    return 1;
}

void GameController::startPonderTask(int code) {
    if (!sharedLoad(pShared->ponderEnabled)) return;
    // One task at a time: the controller signals the end of each task once,
    // and the front end waits once per hand-over.
    stopSearch();
    // The front end arms the ponder search's stopwatch itself, so that a
    // "stop" that comes before the controller has started cannot be undone.
    pShared->timer1.setLimit(PONDER_TIME_LIMIT);
    pShared->timer1.start();
    handOver(code);
    searchState = code == TASK_PONDER_GIVEN ? 3 : 1;
}

void GameController::playOther() {
    enginePlays = 1;
    setEngineSide(-board.toMove);
    startClock(1);
    startPonderTask(TASK_PONDER);
}

int GameController::applyUserMove(const char* text) {
    stopSearch();
    Move m = parseCoordinateMove(board, text);
    if (m == NO_MOVE) {
        say("Error (ambiguous move): %s\n", text);
        return 0;
    }
    pShared->gameMoves[gameMoveSlot(board.gamePly)] = m;
    if (board.gamePly > 999) pShared->gameStartPly = 10000;
    makeMove(board, m);
    if (checkGameEnd(board)) {
        stopClock();
    } else if (enginePlays) {
        startClock(0);
    }
    if (sharedLoad(pShared->protocol) == PROTOCOL_XBOARD) {
        printBoardLocked(board);
    }
    return 1;
}

void GameController::applyEngineMove() {
    Move m = sharedLoad(pShared->engineMove);
    if (m == NO_MOVE) return;
    // The controller played it on the same position; a move that does not fit
    // (the game changed under a running task) is dropped, never made.
    if (isLegal(m)) makeMove(board, m);
    sharedStore(pShared->engineMove, NO_MOVE);
}

void GameController::moveNow() {
    if (toolRunning()) return;
    pShared->timer1.setLimit(0);
    if (searchState == 3 && sharedLoad(pShared->protocol) == PROTOCOL_UCI) {
        // The ponder search ends at its next time check; its move is final then.
        endTask();
        printPonderBestmove();
    }
}

void GameController::printPonderBestmove() {
    Move m = sharedLoad(pShared->ponderResult);
    if (!isLegal(m)) {
        // The search was stopped before it had a move: any legal move will do.
        Move legal[MOVELIST_CAPACITY];
        m = generateLegal(board, legal) > 0 ? legal[0] : NO_MOVE;
    }
    char text[16];
    lockOutput();
    say("\nbestmove %s\n", m != NO_MOVE ? formatMove(m, text, true) : "0000");
    unlockOutput();
}

void GameController::printHint() {
    char text[16];
    Move m = tt.bestMove(board.boardkey);
    if (!isLegal(m)) return; // no hint rather than a move of another position
    lockOutput();
    say("hint: %s\n", protocolMoveText(m, text));
    unlockOutput();
}

void GameController::printStat01() {
    SharedState& s = *pShared;
    char text[16];
    lockOutput();
    say("stat01: %d %d %d %d %d %s\n", s.timer1.elapsed(),
        static_cast<std::int32_t>(static_cast<std::uint32_t>(s.nodeCount) +
                                  static_cast<std::uint32_t>(s.quiescenceNodeCount)),
        s.currentDepth, s.rootMoveCount - s.rootMovesDone, s.rootMoveCount,
        protocolMoveText(s.currentRootMove, text));
    unlockOutput();
}

void GameController::clearTables() {
    evalHash.clear();
    tt.clear();
}

// ---- Self-play ----

void GameController::startSelfPlay() {
    stopSearch();
    if (!selfPlaying_) savedPonder_ = sharedLoad(pShared->ponderEnabled);
    sharedStore(pShared->ponderEnabled, 0); // each task must end with its move
    setTimeControl(0, 0, 1000);
    selfPlaying_ = true;
    playSelfPlayMove();
}

void GameController::playSelfPlayMove() {
    enginePlays = 1;
    setEngineSide(board.toMove);
    selfPlayPly_ = board.gamePly;
    thinkAndMakeBestMove();
}

void GameController::continueSelfPlay(int timeoutMs) {
    if (!selfPlaying_ || !taskHasEnded(timeoutMs)) return;
    applyEngineMove();
    // The game is over, or the controller played nothing (it has no move, or
    // it is gone): self-play ends. The controller printed the result line.
    if (board.gamePly == selfPlayPly_ || gameEndResult(board) != nullptr) {
        endSelfPlay();
    } else {
        playSelfPlayMove();
    }
}

void GameController::endSelfPlay() {
    if (!selfPlaying_) return;
    stopSearch();
    sharedStore(pShared->ponderEnabled, savedPonder_);
    selfPlaying_ = false;
}
