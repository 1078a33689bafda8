// The search's control record, one mapping "sharedData" + identity shared by
// the front end and every search process of an instance. Plain data with a
// fixed layout: every process maps it at its own address.
//
// Process states, numSplitBlock and the node totals change under the state
// lock; a split block under its own lock; the switches, the depth limit,
// timer1 and allSearchprocesEnabled are written by the front end and read
// without locks (read them with sharedLoad where a loop waits on them).
#pragma once

#include <atomic>
#include <type_traits>

#include "board/board.h"
#include "board/ordering.h"
#include "board/repetition.h"
#include "board/settings_file.h"
#include "board/tables.h"
#include "search/split_block.h"
#include "search/timecontrol.h"
#include "smp/limits.h"
#include "smp/platform.h"

inline constexpr const char* SHARED_STATE_PREFIX = "sharedData";
inline constexpr int GAME_MOVES_SIZE = 1000;
// The gameMoves slot of a ply; plies are never negative in a game, but a FEN
// can claim anything.
inline int gameMoveSlot(int ply) {
    int s = ply % GAME_MOVES_SIZE;
    return s < 0 ? s + GAME_MOVES_SIZE : s;
}
inline constexpr std::int32_t DEFAULT_MAX_DEPTH = 35;

// Codes of allSearchprocesEnabled: the task process 0 is running.
enum TaskCode : std::int32_t {
    TASK_STOP = 0,
    TASK_THINK = 1,
    TASK_PONDER = 2,       // guess the reply and search after it
    TASK_PONDER_GIVEN = 3, // ponder the given position (UCI go ponder)
    TASK_TUNE = 4,
    TASK_TUNE_VARIANT = 5,
    TASK_EPD_SUITE = 6,
};

// A search process's state: 0 until it has attached, then idle (waiting for a
// split block) or busy; gone once it was found dead.
enum ProcessStateCode : std::int32_t {
    PROCESS_NOT_ATTACHED = 0,
    PROCESS_IDLE = 1,
    PROCESS_BUSY = 2,
    PROCESS_GONE = 3,
};

inline constexpr std::int32_t PROTOCOL_XBOARD = 1;
inline constexpr std::int32_t PROTOCOL_UCI = 2;

inline constexpr std::int32_t DEFAULT_EGTB_CACHE_MB = 64;

// Tablebase settings: "pref:NalimovCache=" (MB) and "pref:egtb-path=" (the
// rest of the line; without that line no directory is searched at all).
struct TablebaseSettings {
    std::int32_t cacheMb = DEFAULT_EGTB_CACHE_MB;
    bool pathGiven = false;
    char path[SETTINGS_LINE_SIZE] = "";
};

// The options the front end settled for its instance before it started the
// search processes. They take them from here, never from the settings file,
// which another engine in the same folder may have rewritten since.
struct InstanceSettings {
    MaterialValues material;             // the values in use (after clamping)
    std::int32_t printInvertedScore = 0; // "pref:printInvertedScore="
    TablebaseSettings egtb;
};

// Reads the search processes' keys (printInvertedScore, NalimovCache,
// egtb-path) from the settings file; missing keys keep their defaults.
void readInstanceSettings(InstanceSettings& settings, const char* path = SETTINGS_FILE_NAME);

struct SharedState {
    Stopwatch timer1;
    OrderingTables ordering; // history counters and killers
    GameClock gameClock;
    Move gameMoves[GAME_MOVES_SIZE]; // move of ply p at p % 1000
    std::int32_t gameStartPly;
    std::int32_t protocol; // PROTOCOL_XBOARD or PROTOCOL_UCI
    std::int32_t maxDepth;
    std::int32_t postThinking;
    std::int32_t useEgtb;
    std::int32_t useNullMove;
    std::int32_t useLateMoveReduction;
    std::int32_t useFutility;
    std::int32_t useExtensions;
    std::int32_t useBook;
    std::int32_t nodeCount;           // full-width nodes of all processes
    std::int32_t quiescenceNodeCount; // quiescence nodes of all processes
    std::int32_t rootMoveCount;
    std::int32_t rootMovesDone;
    std::int32_t currentDepth;
    Move currentRootMove;
    SplitBlock splitBlocks[SPLIT_BLOCK_COUNT];
    Board rootBoard;
    RepetitionRing rootRing;
    Move engineMove;
    Move ponderResult;
    std::int32_t ponderEnabled;
    U64 ponderKey;
    std::int32_t ponderStart;
    std::int32_t tuningMargin;           // the lazy-evaluation margin, printed by the depth scan
    std::int32_t toolArgument;           // the number after a developer command, 0 for its default
    std::int32_t running;                // 1 while the engine lives, 0 ends every process
    std::int32_t numProcesses;           // search processes started (1 + slaves)
    std::int32_t allSearchprocesEnabled; // TaskCode
    std::int32_t numSplitBlock[MAX_PROCESS_NUMBERS]; // block given to each process, 0 none
    std::int32_t processState[MAX_PROCESS_NUMBERS];  // ProcessStateCode
    InstanceSettings settings;
    // 1 once search process i has opened every shared object it needs (the
    // front end waits for that at start-up); cleared when it is restarted.
    std::int32_t attached[MAX_PROCESS_NUMBERS];

    // ---- The split search's watch over its slaves ----
    // A block owner waiting for its slaves must tell a slow slave from a dead
    // one, which would otherwise keep it waiting for ever.
    std::int32_t processPid[MAX_PROCESS_NUMBERS]; // written by the front end; 0 unknown
    // The block a slave was claimed for, from claim until it has left (0 none),
    // and the index of the move it searches there (-1 none); both change under
    // that block's lock.
    std::int32_t slaveBlock[MAX_PROCESS_NUMBERS];
    std::int32_t slaveMoveIndex[MAX_PROCESS_NUMBERS];
};
static_assert(std::is_trivially_copyable_v<SharedState> && std::is_standard_layout_v<SharedState>);

// This process's view of the shared state (nullptr before openSharedState).
extern SharedState* pShared;

// A field that another process writes, read and written atomically.
template <class T> T sharedLoad(const T& field) {
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}
template <class T> void sharedStore(T& field, T value) {
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

// Maps "sharedData" + suffix (created zeroed, or the existing one) and sets
// pShared. On failure prints "ERROR! Could not create file mapping object."
// or "ERROR! Could not map view of file." and returns nullptr.
SharedState* openSharedState(platform::SharedMapping& mapping, const char* suffix);
// "unmapping...." and "Getting rid of handle....", each when there is
// something to release.
void closeSharedState(platform::SharedMapping& mapping);

// The defaults the front end gives a new shared state: switches on, xboard,
// depth limit 35, post on, running, no task, no pondering, the clock at 1 move
// in 1000 ms, every split block free and numbered.
void setSharedDefaults(SharedState& state);
// Forgets what the search processes had claimed (split blocks, process
// states, attachment), before they are started again.
void resetProcessRecords(SharedState& state);
// Adds a process's node counters to the totals (the caller holds the state
// lock); the totals wrap around like the 32-bit counters they are.
void addNodeTotals(SharedState& state, std::int32_t nodes, std::int32_t quiescenceNodes);
