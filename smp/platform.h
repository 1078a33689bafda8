// The operating-system services the search processes build on: named shared
// mappings, named mutexes and auto-reset events, the namespace of one engine
// instance, and starting the search processes. This is the only code that
// knows it runs on Linux.
//
// Every named object lives in the namespace of one engine instance, so that
// two engines of the same build run side by side without meeting. The
// instance is named after its front end (process id and start time); the
// front end hands the name to its search processes in the environment
// variable TARVOK_INSTANCE. An object called "handleMutex_IO_Tarvok..." by the
// engine is the POSIX shared-memory object "/tarvok.<instance>.<name>", with
// the characters that are not letters, digits, "_" or "." written as "-XX".
#pragma once

#include <cstdint>
#include <sys/types.h>

namespace platform {

inline constexpr const char* INSTANCE_ENV = "TARVOK_INSTANCE";
inline constexpr int INSTANCE_ID_SIZE = 64;
inline constexpr int NO_TIMEOUT = -1;

// ---- The instance namespace ----

// Makes this process the owner of a new instance named after it (plus the
// optional tag of letters, digits and "_", so that one process can own
// several namespaces) and exports the name to the processes it starts.
bool createInstance(const char* tag = nullptr);
// Adopts the instance named in the environment; false when there is none or
// the value is not an instance name.
bool joinInstanceFromEnvironment();
// Adopts the given instance name without touching the environment.
bool setInstance(const char* id);
// The current instance name ("" before one is set) and the process id of its
// owner (0 before one is set).
const char* instanceId();
pid_t instanceOwner();
// True when the owner of the instance still runs (same process id and the
// same start time, so a reused process id does not keep a dead instance).
bool instanceAlive(const char* id);
// Removes every object of the instance; returns how many were removed.
int removeInstanceObjects(const char* id);
// Removes every object of every instance whose owner no longer runs.
int removeDeadInstances();
// The shared-memory object name of an engine object name in the current
// instance (at most 255 characters); false without an instance.
bool objectPath(const char* name, char* out, int outSize);
// True when the named object of the current instance exists.
bool objectExists(const char* name);

// ---- Named shared mappings ----

enum class MapStatus { Ok, CreateFailed, MapFailed };

// A mapping of a whole named object. `handle` is the open object (-1 when
// none), `address` the view (nullptr when none).
struct SharedMapping {
    int handle = -1;
    void* address = nullptr;
    std::uint64_t bytes = 0;
    bool created = false; // this call created the object
    int error = 0;        // errno of the failure
};

// Creates the object with `bytes` zeroed bytes or opens the existing one
// (whose size is then the size it has), and maps all of it read-write. A
// new object fails (ENOSPC, or EFBIG under a file-size limit) when its file
// system has not that much room left beside what this process's objects
// were promised; its memory is taken as it is written, or reserved with
// reserveMapping. Bytes 0: only an existing object is opened.
MapStatus openMapping(SharedMapping& mapping, const char* name, std::uint64_t bytes);
// Takes the memory of bytes [offset, offset + bytes) of the object now, so
// that writing there later cannot fail. 0, or the error.
int reserveMapping(SharedMapping& mapping, std::uint64_t offset, std::uint64_t bytes);
void unmapView(SharedMapping& mapping);
void closeHandle(SharedMapping& mapping);

// ---- Named mutexes and events ----

enum class WaitResult { Acquired, TimedOut, Failed, Abandoned };

// A process-shared robust mutex. Locking a mutex whose holder died returns
// Abandoned with the mutex held and usable again.
class NamedMutex {
  public:
    bool create(const char* name); // creates it unowned, or opens the existing one
    bool open(const char* name);   // only an existing one
    void close();
    bool valid() const { return shared_ != nullptr; }
    // timeoutMs: NO_TIMEOUT waits without limit, 0 only tries.
    WaitResult lock(int timeoutMs);
    bool unlock();
    int error() const { return error_; }

  private:
    bool attach(const char* name, bool mayCreate);
    void* shared_ = nullptr;
    int error_ = 0;
};

// An auto-reset event: created unsignalled; a signal releases one waiter, or
// stays set until one waits; a wait of 0 ms only tests (and resets) it.
class NamedEvent {
  public:
    bool create(const char* name);
    bool open(const char* name);
    void close();
    bool valid() const { return shared_ != nullptr; }
    bool signal();
    // Acquired when signalled; TimedOut; Failed when the event is not open.
    WaitResult wait(int timeoutMs);
    int error() const { return error_; }

  private:
    bool attach(const char* name, bool mayCreate);
    void* shared_ = nullptr;
    int error_ = 0;
};

// ---- Processes ----

// Starts this program again (/proc/self/exe) with argv[0] = arg0 and the
// number as the only argument, this process's standard output and error,
// and standard input from /dev/null. Returns 0 and the child's id, or errno.
int startProcess(const char* arg0, int number, pid_t* pid);
// Called first thing in a started process, after its instance is set: when
// its parent dies, the process removes every object of the instance and
// ends, so that an engine whose front end was killed leaves nothing behind.
// False (the objects removed already; the caller ends) when the parent is not
// `expectedParent` any more, i.e. it died before this call.
bool tieToParent(pid_t expectedParent);
bool processRuns(pid_t pid);
// What a process is doing: Gone (ended or never was), Stopped (by a signal
// or a debugger), Waiting (asleep), Running (on a processor or in the
// kernel). cpuTicks: its processor time so far, in clock ticks.
enum class Activity { Gone, Stopped, Waiting, Running };
Activity processActivity(pid_t pid, std::uint64_t* cpuTicks = nullptr);
// Ends the process at once (SIGKILL).
void killProcess(pid_t pid);
// Waits for a child to end: its exit status (128 + signal when killed), or
// -1 when it did not end within timeoutMs (NO_TIMEOUT waits without limit).
int waitForExit(pid_t pid, int timeoutMs);
void sleepMs(int ms);

} // namespace platform
