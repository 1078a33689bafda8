// The search processes: starting them from the front end, the start-up of one
// search process, and the slave loop.
#pragma once

#include <sys/types.h>

#include "board/board.h"
#include "eval/evalhash.h"
#include "smp/platform.h"
#include "smp/search_context.h"
#include "smp/shared_state.h"

// The object of one search process, built at its start-up.
struct SearchProcess {
    platform::NamedEvent startSearchEvent; // "handleStartSearch": a task for process 0
    platform::NamedEvent searchEndedEvent; // "handleSearchEnded": process 0 ended a task
    int processNumber;                     // 0 = the search controller
    EvalHash evalHash;
    platform::SharedMapping evalHashMapping;
    platform::SharedMapping sharedMapping;
    SharedState* pShared;
    SearchContext context;
    Board board;
};

// The loop process 0 runs between its start-up and its end.
using ControllerLoop = void (*)(SearchProcess& process);

// Front end, before it creates any shared object: names this engine's
// instance after the front end (and exports the name to the search processes
// it will start), then removes what engines that no longer run left behind.
// False when the instance cannot be named.
bool beginEngineInstance();
// Front end, at quit: removes every shared object of this instance.
void endEngineInstance();

// Front end: starts search processes 0 .. count-1 (at most
// MAX_SEARCH_PROCESSES), each after clearing its numSplitBlock entry. A
// process that cannot be started is reported with "CreateProcess failed
// (<errno>)." and skipped. pids (count entries, may be nullptr) gets each
// process's id, -1 for one not started. Returns how many started.
int startSearchProcesses(const char* programPath, int count, pid_t* pids);
// Front end, after running was cleared and process 0 woken: waits up to
// timeoutMs for the processes to end, then kills the ones still running.
// Returns how many ended by themselves.
int reapSearchProcesses(const pid_t* pids, int count, int timeoutMs);

// The whole life of search process `number` of the engine named `identity`:
// start-up, its loop (process 0 runs controllerLoop, the others
// slaveWorkLoop) and shut-down. The process takes its options from the
// shared state, where the front end put them, and marks itself attached
// once it has opened every shared object. Returns the process's exit status:
// 1 when a shared object cannot be had (with the failure line printed).
// Started by hand, outside an engine instance, it prints one line and
// returns 1.
int runSearchProcess(int number, const char* identity, ControllerLoop controllerLoop);
// Process 0's last act: under the state lock (the global split lock), signal
// every slave's start event so that each sees running = 0 and ends.
void wakeAllSlaves(SearchProcess& process);
// The loop of processes 1 .. N: announce idleness, wait for a split block
// (re-announcing every second), work on it, repeat until running is 0.
void slaveWorkLoop(SearchContext& context);
