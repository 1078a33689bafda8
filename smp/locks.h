// The engine's named mutexes and events: their names, who creates and who
// opens them, and the lock wrappers with their time-outs and diagnostics.
//
// Every name is a prefix, the engine identity (at most 50 characters of it)
// and, for numbered objects, a decimal number. Lock order: the state lock
// before any split-block lock; the output lock is always taken alone.
#pragma once

#include "smp/limits.h"
#include "smp/platform.h"

inline constexpr int NAME_SUFFIX_LIMIT = 50;
inline constexpr int OBJECT_NAME_SIZE = 128;

inline constexpr int LOCK_TIMEOUT_MS = 10000;
inline constexpr int LOCK_RETRIES = 5;
inline constexpr int OPEN_RETRY_MS = 100;

inline constexpr const char* OUTPUT_LOCK_PREFIX = "handleMutex_IO_";
inline constexpr const char* STATE_LOCK_PREFIX = "handleMutex_MT_";
inline constexpr const char* SPLIT_LOCK_PREFIX = "Mutex_SBlock_"; // + suffix + "_" + k
inline constexpr const char* START_SEARCH_PREFIX = "handleStartSearch";
inline constexpr const char* SEARCH_ENDED_PREFIX = "handleSearchEnded";
inline constexpr const char* SLAVE_AVAILABLE_PREFIX = "handleSlaveAvailable";
inline constexpr const char* START_SLAVE_PREFIX = "handleStartSlave"; // + suffix + i
inline constexpr const char* BLOCK_READY_PREFIX = "handleSbReady_";   // + suffix + "_" + k

// prefix + suffix (cut to 50 characters); out holds OBJECT_NAME_SIZE bytes.
void objectName(char* out, const char* prefix, const char* suffix);
// prefix + suffix + number, or prefix + suffix + "_" + number.
void objectName(char* out, const char* prefix, const char* suffix, int number, bool underscore);

// The two global locks of this process. The state lock also guards the split
// decision (the "global split lock").
extern platform::NamedMutex outputLock;
extern platform::NamedMutex stateLock;

// Waits for the mutex. Acquired: returns. Otherwise prints
// "\n@mutex timeout: " and then, on a time-out, " WAIT_TIMEOUT" (and goes on
// without the lock); on an abandoned mutex " WAIT_ABANDONED" (held); on a
// failure " WAIT_FAILED ERRORCODE=<errno>" and up to five more waits with
// "X<n> " after each failed one and "OK " after a successful one.
void lockMutex(platform::NamedMutex& mutex, int timeoutMs = LOCK_TIMEOUT_MS);
// Prints "failed to release mutex! ERROR=<errno>" when the release fails.
void unlockMutex(platform::NamedMutex& mutex);

// Whether this process holds the output lock, so that a line printer can
// take the lock itself when (and only when) its caller has not.
inline bool outputLockHeld = false;
inline void lockOutput() {
    lockMutex(outputLock);
    outputLockHeld = true;
}
inline void unlockOutput() {
    outputLockHeld = false;
    unlockMutex(outputLock);
}
// Prints text in one write under the output lock, unless this process holds
// it already or has none (before the locks exist).
void printLocked(const char* text);
inline void lockState() {
    lockMutex(stateLock);
}
inline void unlockState() {
    unlockMutex(stateLock);
}
inline void lockSplitBlock(platform::NamedMutex& mutex) {
    lockMutex(mutex);
}
inline void unlockSplitBlock(platform::NamedMutex& mutex) {
    unlockMutex(mutex);
}

// The output and state locks. The front end (FRONT_END_PROCESS) and process
// 0 create them ("Create- no handle, ERROR= %d" on failure, and false); the
// other processes open them, retrying every 100 ms without limit and
// printing "WAIT- no handle, ERROR= %d" and the name for every miss.
bool openGlobalLocks(const char* suffix, int processNumber);
void closeGlobalLocks();

// The split-block locks: process 0 creates them ("Create Mutex- no handle,
// ERROR= %d" on failure), the others open them, silently retrying every
// 100 ms without limit.
bool openSplitBlockLocks(platform::NamedMutex (&locks)[SPLIT_BLOCK_COUNT], const char* suffix,
                         int processNumber);

// The two task events: the front end creates them; search processes open
// them, retrying every 100 ms until they exist.
bool createTaskEvents(platform::NamedEvent& startSearch, platform::NamedEvent& searchEnded,
                      const char* suffix);
void openTaskEvents(platform::NamedEvent& startSearch, platform::NamedEvent& searchEnded,
                    const char* suffix);

// The events of the split search, created or opened by every search
// process: slave available, start slave i for i below processCount, and the
// 100 block-ready events. False when one cannot be had.
bool openSlaveEvents(platform::NamedEvent& slaveAvailable,
                     platform::NamedEvent (&startSlave)[MAX_PROCESS_NUMBERS], int processCount,
                     platform::NamedEvent (&blockReady)[SPLIT_BLOCK_COUNT], const char* suffix);
