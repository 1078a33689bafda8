// Setting up a search process's SearchContext: its table, its settings from
// the shared state, its tablebases, and the events and locks of the split
// search.
#pragma once

#include "board/settings_file.h"
#include "search/search_context.h"

// Attaches the transposition table the front end made, takes the context's
// settings from the shared state (the front end's InstanceSettings), sets up
// the tablebases and creates or opens the slave events and the split block
// locks. False when the table, an event or a lock could not be had.
bool initSearchContext(SearchContext& context, SharedState* shared, int processNumber,
                       const char* suffix);
// The tablebase settings of a settings file (defaults when it is missing).
TablebaseSettings readTablebaseSettings(const char* settingsPath = SETTINGS_FILE_NAME);
// Sets up the tablebases from the settings: nothing is registered without a
// directory setting. withLocks takes the engine's state and output locks
// around registration and the start-up lines.
void startTablebases(const TablebaseSettings& settings, bool quiet, bool withLocks);
// Releases the transposition table (with its messages), the events and locks.
void destroySearchContext(SearchContext& context);
