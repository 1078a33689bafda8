// Search process 0, the search controller: it waits for the tasks the front
// end hands over, searches, announces and plays the engine's moves, and
// ponders.
#pragma once

struct SearchProcess;

// The controller's life: one task per start signal, its end signalled back,
// until the engine stops running; then it wakes every slave so they end too.
void searchControllerLoop(SearchProcess& process);
