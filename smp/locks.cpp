#include "smp/locks.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using platform::NamedEvent;
using platform::NamedMutex;
using platform::WaitResult;

NamedMutex outputLock;
NamedMutex stateLock;

void objectName(char* out, const char* prefix, const char* suffix) {
    std::snprintf(out, OBJECT_NAME_SIZE, "%s%.*s", prefix, NAME_SUFFIX_LIMIT, suffix);
}

void objectName(char* out, const char* prefix, const char* suffix, int number, bool underscore) {
    std::snprintf(out, OBJECT_NAME_SIZE, "%s%.*s%s%d", prefix, NAME_SUFFIX_LIMIT, suffix,
                  underscore ? "_" : "", number);
}

void lockMutex(NamedMutex& mutex, int timeoutMs) {
    WaitResult r = mutex.lock(timeoutMs);
    if (r == WaitResult::Acquired) return;
    std::printf("\n@mutex timeout: ");
    switch (r) {
    case WaitResult::TimedOut:
        std::printf(" WAIT_TIMEOUT\n");
        return;
    case WaitResult::Abandoned:
        std::printf(" WAIT_ABANDONED\n");
        return;
    default:
        break;
    }
    std::printf(" WAIT_FAILED ERRORCODE=%d\n", mutex.error());
    for (int attempt = 1; attempt <= LOCK_RETRIES; ++attempt) {
        r = mutex.lock(timeoutMs);
        if (r == WaitResult::Acquired || r == WaitResult::Abandoned) {
            std::printf("OK \n");
            return;
        }
        std::printf("X%d ", attempt);
    }
    std::printf("\n");
}

void unlockMutex(NamedMutex& mutex) {
    if (!mutex.unlock()) std::printf("failed to release mutex! ERROR=%d\n", mutex.error());
}

void printLocked(const char* text) {
    const bool takeLock = !outputLockHeld && outputLock.valid();
    std::fflush(stdout);
    if (takeLock) lockOutput();
    for (std::size_t left = std::strlen(text); left > 0;) {
        ssize_t w = ::write(1, text, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        text += w;
        left -= static_cast<std::size_t>(w);
    }
    if (takeLock) unlockOutput();
}

namespace {

bool createGlobal(NamedMutex& mutex, const char* prefix, const char* suffix) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, prefix, suffix);
    if (mutex.create(name)) return true;
    std::printf("Create- no handle, ERROR= %d\n", mutex.error());
    return false;
}

void openGlobal(NamedMutex& mutex, const char* prefix, const char* suffix) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, prefix, suffix);
    while (!mutex.open(name)) {
        std::printf("WAIT- no handle, ERROR= %d\n", mutex.error());
        platform::sleepMs(OPEN_RETRY_MS);
        std::printf("%s\n", name);
    }
}

template <class Object> void openWithRetry(Object& object, const char* name) {
    while (!object.open(name)) platform::sleepMs(OPEN_RETRY_MS);
}

} // namespace

bool openGlobalLocks(const char* suffix, int processNumber) {
    if (processNumber <= 0) {
        bool ok = createGlobal(outputLock, OUTPUT_LOCK_PREFIX, suffix);
        return createGlobal(stateLock, STATE_LOCK_PREFIX, suffix) && ok;
    }
    openGlobal(outputLock, OUTPUT_LOCK_PREFIX, suffix);
    openGlobal(stateLock, STATE_LOCK_PREFIX, suffix);
    return true;
}

void closeGlobalLocks() {
    outputLock.close();
    stateLock.close();
}

bool openSplitBlockLocks(NamedMutex (&locks)[SPLIT_BLOCK_COUNT], const char* suffix,
                         int processNumber) {
    bool ok = true;
    char name[OBJECT_NAME_SIZE];
    for (int k = 0; k < SPLIT_BLOCK_COUNT; ++k) {
        objectName(name, SPLIT_LOCK_PREFIX, suffix, k, true);
        if (processNumber == 0) {
            if (!locks[k].create(name)) {
                std::printf("Create Mutex- no handle, ERROR= %d\n", locks[k].error());
                ok = false;
            }
        } else {
            openWithRetry(locks[k], name);
        }
    }
    return ok;
}

bool createTaskEvents(NamedEvent& startSearch, NamedEvent& searchEnded, const char* suffix) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, START_SEARCH_PREFIX, suffix);
    bool ok = startSearch.create(name);
    objectName(name, SEARCH_ENDED_PREFIX, suffix);
    return searchEnded.create(name) && ok;
}

void openTaskEvents(NamedEvent& startSearch, NamedEvent& searchEnded, const char* suffix) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, START_SEARCH_PREFIX, suffix);
    openWithRetry(startSearch, name);
    objectName(name, SEARCH_ENDED_PREFIX, suffix);
    openWithRetry(searchEnded, name);
}

bool openSlaveEvents(NamedEvent& slaveAvailable, NamedEvent (&startSlave)[MAX_PROCESS_NUMBERS],
                     int processCount, NamedEvent (&blockReady)[SPLIT_BLOCK_COUNT],
                     const char* suffix) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, SLAVE_AVAILABLE_PREFIX, suffix);
    bool ok = slaveAvailable.create(name);
    for (int i = 0; i < processCount && i < MAX_PROCESS_NUMBERS; ++i) {
        objectName(name, START_SLAVE_PREFIX, suffix, i, false);
        ok = startSlave[i].create(name) && ok;
    }
    for (int k = 0; k < SPLIT_BLOCK_COUNT; ++k) {
        objectName(name, BLOCK_READY_PREFIX, suffix, k, true);
        ok = blockReady[k].create(name) && ok;
    }
    return ok;
}
