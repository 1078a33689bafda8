// Counts of the multi-process search, shared by the records in shared memory
// and by the named objects that guard them.
#pragma once

inline constexpr int SPLIT_BLOCK_COUNT = 100;   // block 0 unused, block 1 the root block
inline constexpr int MAX_PROCESS_NUMBERS = 16;  // per-process arrays of the shared state
inline constexpr int MAX_SEARCH_PROCESSES = 10; // the process number is one decimal digit
inline constexpr int FRONT_END_PROCESS = -1;    // process number of the front end
