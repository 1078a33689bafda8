#include "smp/platform.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <new>
#include <pthread.h>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {
namespace {

// POSIX shared-memory objects are files of this directory on Linux; listing
// it is how the objects of an instance are found, and a hard link in it is
// how a fully initialised object is published under its name in one step.
constexpr const char* SHM_DIR = "/dev/shm/";
constexpr const char* OBJECT_PREFIX = "tarvok.";
constexpr int MAX_OBJECT_NAME = 250;

char currentInstance[INSTANCE_ID_SIZE] = "";
pid_t currentOwner = 0;
int tempCounter = 0;

std::int64_t monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Start time of a process in clock ticks since boot (field 22 of its stat
// file), 0 when the process does not exist.
unsigned long long processStartTime(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE* f = std::fopen(path, "r");
    if (!f) return 0;
    char buf[1024];
    std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    // The command name (field 2) is in parentheses and may hold anything,
    // so count the fields after its closing parenthesis.
    const char* p = std::strrchr(buf, ')');
    // A process that has ended but was not yet reaped runs no more.
    if (!p || (p[1] == ' ' && (p[2] == 'Z' || p[2] == 'X'))) return 0;
    int field = 2;
    while (*p && field < 22) {
        if (*p == ' ') ++field;
        ++p;
    }
    if (field != 22) return 0;
    return std::strtoull(p, nullptr, 10);
}

bool isTagChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// An instance name is "<pid>-<start time>" or "<pid>-<start time>-<tag>".
bool parseInstance(const char* id, pid_t* pid, unsigned long long* start) {
    if (!id || std::strlen(id) >= INSTANCE_ID_SIZE) return false;
    const char* p = id;
    unsigned long long values[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (*p < '0' || *p > '9') return false;
        while (*p >= '0' && *p <= '9') {
            values[i] = values[i] * 10 + static_cast<unsigned>(*p - '0');
            if (values[i] > 1000000000000000000ULL) return false;
            ++p;
        }
        if (i == 0) {
            if (*p != '-') return false;
            ++p;
        }
    }
    if (*p == '-') {
        ++p;
        if (!*p) return false;
        for (; *p; ++p)
            if (!isTagChar(*p)) return false;
    } else if (*p) {
        return false;
    }
    if (values[0] == 0 || values[0] > INT_MAX || values[1] == 0) return false;
    if (pid) *pid = static_cast<pid_t>(values[0]);
    if (start) *start = values[1];
    return true;
}

// Letters, digits, "_" and "." stand for themselves, every other byte is
// "-" and two hex digits; a name too long for the file system keeps its
// start and gets a hash of the whole behind "~" (which escaping never makes).
void escapeName(const char* name, std::string& out) {
    static const char hex[] = "0123456789ABCDEF";
    out.clear();
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        unsigned char c = *p;
        if (isTagChar(static_cast<char>(c)) || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '-';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
}

bool buildPath(const char* name, char* out, int outSize) {
    if (!currentInstance[0] || !name || outSize <= 0) return false;
    std::string escaped;
    escapeName(name, escaped);
    std::string path = std::string("/") + OBJECT_PREFIX + currentInstance + "." + escaped;
    if (path.size() > MAX_OBJECT_NAME) {
        std::uint64_t h = 1469598103934665603ULL;
        for (const char* p = name; *p; ++p)
            h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ULL;
        char tail[24];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(h));
        path.resize(MAX_OBJECT_NAME - std::strlen(tail));
        path += tail;
    }
    if (path.size() + 1 > static_cast<std::size_t>(outSize)) return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

using Initializer = void (*)(void*);

// Bytes of the objects this process made whose memory is not reserved yet.
std::uint64_t promisedBytes = 0;

// Whether the file system of fd has room for `bytes` more, beyond what this
// process has promised to objects already (an object takes its memory as it
// is written, or when it is reserved).
bool roomFor(int fd, std::uint64_t bytes) {
    struct statvfs fs;
    if (fstatvfs(fd, &fs) != 0 || fs.f_blocks == 0) return true; // no figures: try
    const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
    return free >= promisedBytes && free - promisedBytes >= bytes;
}

// Opens the named object, or creates it: under a temporary name the memory is
// reserved and initialised, then the object is linked to its real name, so
// that no process ever opens a half-made object. Losing the race to another
// creator opens the winner's object.
MapStatus mapObject(SharedMapping& m, const char* name, std::uint64_t bytes, bool mayCreate,
                    Initializer init) {
    m = SharedMapping{};
    char path[256];
    if (!buildPath(name, path, sizeof path)) {
        m.error = EINVAL;
        return MapStatus::CreateFailed;
    }
    if (bytes > static_cast<std::uint64_t>(LLONG_MAX)) {
        m.error = EFBIG;
        return MapStatus::CreateFailed;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = shm_open(path, O_RDWR, 0600);
        if (fd >= 0) {
            struct stat st;
            int statted = fstat(fd, &st);
            if (statted != 0 || st.st_size <= 0) {
                m.error = statted != 0 ? errno : EINVAL;
                ::close(fd);
                return MapStatus::MapFailed;
            }
            void* addr = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE,
                              MAP_SHARED, fd, 0);
            if (addr == MAP_FAILED) {
                m.error = errno;
                ::close(fd);
                return MapStatus::MapFailed;
            }
            m.handle = fd;
            m.address = addr;
            m.bytes = static_cast<std::uint64_t>(st.st_size);
            return MapStatus::Ok;
        }
        if (errno != ENOENT || !mayCreate) {
            m.error = errno;
            return MapStatus::CreateFailed;
        }
        if (bytes == 0) {
            m.error = EINVAL;
            return MapStatus::CreateFailed;
        }
        char temp[128];
        std::snprintf(temp, sizeof temp, "/%s%s.+tmp.%d.%d", OBJECT_PREFIX, currentInstance,
                      static_cast<int>(getpid()), ++tempCounter);
        int tfd = shm_open(temp, O_RDWR | O_CREAT | O_EXCL, 0600);
        if (tfd < 0) {
            m.error = errno;
            return MapStatus::CreateFailed;
        }
        int r = roomFor(tfd, bytes) ? 0 : ENOSPC;
        if (r == 0 && ftruncate(tfd, static_cast<off_t>(bytes)) != 0) r = errno;
        if (r != 0) {
            m.error = r;
            shm_unlink(temp);
            ::close(tfd);
            return MapStatus::CreateFailed;
        }
        void* addr = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, tfd, 0);
        if (addr == MAP_FAILED) {
            m.error = errno;
            shm_unlink(temp);
            ::close(tfd);
            return MapStatus::MapFailed;
        }
        if (init) init(addr);
        std::string from = std::string(SHM_DIR) + (temp + 1);
        std::string to = std::string(SHM_DIR) + (path + 1);
        int linked = link(from.c_str(), to.c_str());
        int linkError = errno;
        shm_unlink(temp);
        if (linked == 0) {
            promisedBytes += bytes;
            m.handle = tfd;
            m.address = addr;
            m.bytes = bytes;
            m.created = true;
            return MapStatus::Ok;
        }
        munmap(addr, bytes);
        ::close(tfd);
        if (linkError != EEXIST) {
            m.error = linkError;
            return MapStatus::CreateFailed;
        }
    }
    m.error = EAGAIN;
    return MapStatus::CreateFailed;
}

struct MutexObject {
    pthread_mutex_t mutex;
};

struct EventObject {
    std::atomic<std::uint32_t> state;   // 1 = signalled
    std::atomic<std::uint32_t> waiters; // processes inside a futex wait
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

void initMutexObject(void* p) {
    auto* obj = static_cast<MutexObject*>(p);
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
    pthread_mutex_init(&obj->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

void initEventObject(void* p) {
    auto* obj = static_cast<EventObject*>(p);
    new (&obj->state) std::atomic<std::uint32_t>(0);
    new (&obj->waiters) std::atomic<std::uint32_t>(0);
}

// Maps a small object and closes its descriptor (only the view is kept).
void* attachSmall(const char* name, std::size_t size, bool mayCreate, Initializer init,
                  int* error) {
    SharedMapping m;
    MapStatus s = mapObject(m, name, size, mayCreate, init);
    if (s != MapStatus::Ok) {
        *error = m.error;
        return nullptr;
    }
    ::close(m.handle);
    if (m.bytes < size) {
        munmap(m.address, m.bytes);
        *error = EINVAL;
        return nullptr;
    }
    *error = 0;
    return m.address;
}

std::size_t pageRounded(std::size_t size) {
    long page = sysconf(_SC_PAGESIZE);
    std::size_t p = page > 0 ? static_cast<std::size_t>(page) : 4096;
    return (size + p - 1) / p * p;
}

void listObjects(std::vector<std::string>& names) {
    names.clear();
    DIR* dir = opendir(SHM_DIR);
    if (!dir) return;
    std::size_t prefixLen = std::strlen(OBJECT_PREFIX);
    while (dirent* e = readdir(dir)) {
        if (std::strncmp(e->d_name, OBJECT_PREFIX, prefixLen) == 0) names.emplace_back(e->d_name);
    }
    closedir(dir);
}

} // namespace

// ---- The instance namespace ----

bool createInstance(const char* tag) {
    pid_t pid = getpid();
    unsigned long long start = processStartTime(pid);
    if (start == 0) return false;
    char id[INSTANCE_ID_SIZE];
    int n = tag && *tag
                ? std::snprintf(id, sizeof id, "%d-%llu-%s", static_cast<int>(pid), start, tag)
                : std::snprintf(id, sizeof id, "%d-%llu", static_cast<int>(pid), start);
    if (n < 0 || n >= INSTANCE_ID_SIZE || !setInstance(id)) return false;
    // Under a file-size limit a table too large fails to be made (EFBIG)
    // instead of killing the process; the search processes inherit this.
    std::signal(SIGXFSZ, SIG_IGN);
    return setenv(INSTANCE_ENV, id, 1) == 0;
}

bool joinInstanceFromEnvironment() {
    return setInstance(std::getenv(INSTANCE_ENV));
}

bool setInstance(const char* id) {
    pid_t pid = 0;
    if (!parseInstance(id, &pid, nullptr)) return false;
    std::strcpy(currentInstance, id);
    currentOwner = pid;
    return true;
}

const char* instanceId() {
    return currentInstance;
}
pid_t instanceOwner() {
    return currentOwner;
}

bool instanceAlive(const char* id) {
    pid_t pid = 0;
    unsigned long long start = 0;
    if (!parseInstance(id, &pid, &start)) return false;
    return processStartTime(pid) == start;
}

int removeInstanceObjects(const char* id) {
    if (!parseInstance(id, nullptr, nullptr)) return 0;
    std::string prefix = std::string(OBJECT_PREFIX) + id + ".";
    std::vector<std::string> names;
    listObjects(names);
    int removed = 0;
    for (const std::string& n : names) {
        if (n.compare(0, prefix.size(), prefix) != 0) continue;
        if (shm_unlink(("/" + n).c_str()) == 0) ++removed;
    }
    return removed;
}

int removeDeadInstances() {
    std::vector<std::string> names;
    listObjects(names);
    int removed = 0;
    std::size_t prefixLen = std::strlen(OBJECT_PREFIX);
    for (const std::string& n : names) {
        std::size_t dot = n.find('.', prefixLen);
        if (dot == std::string::npos) continue;
        std::string id = n.substr(prefixLen, dot - prefixLen);
        // Names that are not instance names were not made here: leave them.
        if (!parseInstance(id.c_str(), nullptr, nullptr) || instanceAlive(id.c_str())) continue;
        if (shm_unlink(("/" + n).c_str()) == 0) ++removed;
    }
    return removed;
}

bool objectPath(const char* name, char* out, int outSize) {
    return buildPath(name, out, outSize);
}

bool objectExists(const char* name) {
    char path[256];
    if (!buildPath(name, path, sizeof path)) return false;
    std::string file = std::string(SHM_DIR) + (path + 1);
    struct stat st;
    return stat(file.c_str(), &st) == 0;
}

// ---- Named shared mappings ----

MapStatus openMapping(SharedMapping& mapping, const char* name, std::uint64_t bytes) {
    return mapObject(mapping, name, bytes, true, nullptr);
}

int reserveMapping(SharedMapping& mapping, std::uint64_t offset, std::uint64_t bytes) {
    if (mapping.handle < 0) return EBADF;
    if (offset >= mapping.bytes) return 0;
    if (bytes > mapping.bytes - offset) bytes = mapping.bytes - offset;
    int r = posix_fallocate(mapping.handle, static_cast<off_t>(offset), static_cast<off_t>(bytes));
    if (mapping.created) promisedBytes -= promisedBytes < bytes ? promisedBytes : bytes;
    return r;
}

void unmapView(SharedMapping& mapping) {
    if (mapping.address) munmap(mapping.address, mapping.bytes);
    mapping.address = nullptr;
}

void closeHandle(SharedMapping& mapping) {
    if (mapping.handle >= 0) ::close(mapping.handle);
    mapping.handle = -1;
}

// ---- Named mutexes ----

bool NamedMutex::attach(const char* name, bool mayCreate) {
    close();
    shared_ =
        attachSmall(name, pageRounded(sizeof(MutexObject)), mayCreate, initMutexObject, &error_);
    return shared_ != nullptr;
}

bool NamedMutex::create(const char* name) {
    return attach(name, true);
}
bool NamedMutex::open(const char* name) {
    return attach(name, false);
}

void NamedMutex::close() {
    if (shared_) munmap(shared_, pageRounded(sizeof(MutexObject)));
    shared_ = nullptr;
}

WaitResult NamedMutex::lock(int timeoutMs) {
    if (!shared_) {
        error_ = EINVAL;
        return WaitResult::Failed;
    }
    pthread_mutex_t* m = &static_cast<MutexObject*>(shared_)->mutex;
    int r;
    if (timeoutMs < 0) {
        r = pthread_mutex_lock(m);
    } else if (timeoutMs == 0) {
        r = pthread_mutex_trylock(m);
        if (r == EBUSY) r = ETIMEDOUT;
    } else {
        std::int64_t deadline = monotonicNs() + static_cast<std::int64_t>(timeoutMs) * 1000000;
        timespec ts{static_cast<time_t>(deadline / 1000000000),
                    static_cast<long>(deadline % 1000000000)};
        r = pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &ts);
    }
    switch (r) {
    case 0:
        return WaitResult::Acquired;
    case ETIMEDOUT:
        return WaitResult::TimedOut;
    case EOWNERDEAD:
        // The holder died while holding it: repair it and keep holding it.
        pthread_mutex_consistent(m);
        return WaitResult::Abandoned;
    default:
        error_ = r;
        return WaitResult::Failed;
    }
}

bool NamedMutex::unlock() {
    if (!shared_) {
        error_ = EINVAL;
        return false;
    }
    int r = pthread_mutex_unlock(&static_cast<MutexObject*>(shared_)->mutex);
    if (r != 0) error_ = r;
    return r == 0;
}

// ---- Named events ----
//
// The event is one word in shared memory and a futex on it. A process-shared
// condition variable would serve as well, except that a process killed while
// waiting inside one can leave it unusable for the others; a futex word keeps
// no state about its waiters.

namespace {
long futex(std::atomic<std::uint32_t>* word, int op, std::uint32_t value, const timespec* timeout) {
    return syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), op, value, timeout, nullptr,
                   0);
}
} // namespace

bool NamedEvent::attach(const char* name, bool mayCreate) {
    close();
    shared_ =
        attachSmall(name, pageRounded(sizeof(EventObject)), mayCreate, initEventObject, &error_);
    return shared_ != nullptr;
}

bool NamedEvent::create(const char* name) {
    return attach(name, true);
}
bool NamedEvent::open(const char* name) {
    return attach(name, false);
}

void NamedEvent::close() {
    if (shared_) munmap(shared_, pageRounded(sizeof(EventObject)));
    shared_ = nullptr;
}

bool NamedEvent::signal() {
    if (!shared_) {
        error_ = EINVAL;
        return false;
    }
    auto* e = static_cast<EventObject*>(shared_);
    e->state.store(1);
    if (e->waiters.load() != 0) futex(&e->state, FUTEX_WAKE, 1, nullptr);
    return true;
}

WaitResult NamedEvent::wait(int timeoutMs) {
    if (!shared_) {
        error_ = EINVAL;
        return WaitResult::Failed;
    }
    auto* e = static_cast<EventObject*>(shared_);
    std::uint32_t expected = 1;
    if (e->state.compare_exchange_strong(expected, 0)) return WaitResult::Acquired;
    if (timeoutMs == 0) return WaitResult::TimedOut;
    std::int64_t deadline = monotonicNs() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    for (;;) {
        timespec ts{};
        const timespec* tsp = nullptr;
        if (timeoutMs > 0) {
            std::int64_t left = deadline - monotonicNs();
            if (left <= 0) return WaitResult::TimedOut;
            ts.tv_sec = static_cast<time_t>(left / 1000000000);
            ts.tv_nsec = static_cast<long>(left % 1000000000);
            tsp = &ts;
        }
        // The waiter count is raised before the futex looks at the word and
        // the signaller sets the word before it reads the count, so either
        // the signaller wakes us or the futex sees the word set and returns.
        e->waiters.fetch_add(1);
        futex(&e->state, FUTEX_WAIT, 0, tsp);
        e->waiters.fetch_sub(1);
        expected = 1;
        if (e->state.compare_exchange_strong(expected, 0)) return WaitResult::Acquired;
    }
}

// ---- Processes ----

int startProcess(const char* arg0, int number, pid_t* pid) {
    posix_spawn_file_actions_t actions;
    int r = posix_spawn_file_actions_init(&actions);
    if (r != 0) return r;
    r = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    if (r == 0) r = posix_spawnattr_init(&attr);
    if (r != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return r;
    }
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    char numberText[16];
    std::snprintf(numberText, sizeof numberText, "%d", number);
    std::string first = arg0 && *arg0 ? arg0 : "tarvok";
    char* argv[] = {first.data(), numberText, nullptr};
    pid_t child = 0;
    r = posix_spawn(&child, "/proc/self/exe", &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (r == 0 && pid) *pid = child;
    return r;
}

namespace {

// The name start of the current instance's objects ("tarvok.<instance>."),
// kept ready for the signal handler below, which may not build strings.
char parentDeathPrefix[INSTANCE_ID_SIZE + 16] = "";

struct LinuxDirent64 {
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

// Removes the instance's objects with system calls only (no allocation, no
// stdio), so that it may run inside a signal handler.
void removeObjectsQuietly() {
    const std::size_t prefixLen = std::strlen(parentDeathPrefix);
    if (prefixLen == 0) return;
    int dir = open(SHM_DIR, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    // Removing entries while reading the directory may hide others from the
    // same pass: read it again until a pass removes nothing.
    for (int pass = 0; pass < 8; ++pass) {
        lseek(dir, 0, SEEK_SET);
        int removed = 0;
        alignas(8) char buf[8192];
        for (;;) {
            long n = syscall(SYS_getdents64, dir, buf, sizeof buf);
            if (n <= 0) break;
            for (long off = 0; off < n;) {
                auto* d = reinterpret_cast<LinuxDirent64*>(buf + off);
                if (std::strncmp(d->name, parentDeathPrefix, prefixLen) == 0 &&
                    unlinkat(dir, d->name, 0) == 0)
                    ++removed;
                off += d->length;
            }
        }
        if (removed == 0) break;
    }
    ::close(dir);
}

void onParentDeath(int) {
    removeObjectsQuietly();
    _exit(0);
}

} // namespace

bool tieToParent(pid_t expectedParent) {
    std::snprintf(parentDeathPrefix, sizeof parentDeathPrefix, "%s%s.", OBJECT_PREFIX,
                  currentInstance);
    struct sigaction action {};
    action.sa_handler = onParentDeath;
    sigfillset(&action.sa_mask);
    sigaction(SIGRTMIN, &action, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGRTMIN);
    // A parent that died before the call above would never send the signal;
    // then this process has been handed to another parent already.
    if (getppid() == expectedParent) return true;
    removeObjectsQuietly();
    return false;
}

Activity processActivity(pid_t pid, std::uint64_t* cpuTicks) {
    if (cpuTicks) *cpuTicks = 0;
    if (pid <= 0) return Activity::Gone;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE* f = std::fopen(path, "r");
    if (!f) return Activity::Gone;
    char buf[1024];
    std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    const char* p = std::strrchr(buf, ')');
    if (!p || p[1] != ' ') return Activity::Gone;
    const char state = p[2];
    // Fields 14 and 15 (user and system time) after the state (field 3).
    int field = 2;
    std::uint64_t ticks = 0;
    for (++p; *p && field < 15; ++p) {
        if (*p != ' ') continue;
        ++field;
        if (field == 14 || field == 15) ticks += std::strtoull(p + 1, nullptr, 10);
    }
    if (cpuTicks) *cpuTicks = ticks;
    switch (state) {
    case 'Z':
    case 'X':
    case 'x':
        return Activity::Gone;
    case 'T':
    case 't':
        return Activity::Stopped;
    case 'R':
    case 'D':
        return Activity::Running;
    default:
        return Activity::Waiting;
    }
}

bool processRuns(pid_t pid) {
    return processActivity(pid) != Activity::Gone;
}

void killProcess(pid_t pid) {
    if (pid > 0) kill(pid, SIGKILL);
}

int waitForExit(pid_t pid, int timeoutMs) {
    std::int64_t deadline = monotonicNs() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, timeoutMs < 0 ? 0 : WNOHANG);
        if (r == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return -1;
        }
        if (r < 0 && errno != EINTR) return -1;
        if (timeoutMs >= 0 && monotonicNs() >= deadline) return -1;
        if (r == 0) sleepMs(2);
    }
}

void sleepMs(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

} // namespace platform
