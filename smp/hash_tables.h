// The shared mappings of the two hash tables: "sharedHashtable" + identity for
// the transposition table and "sharedEvalHashtable" + identity for the
// evaluation hash. Their sizes come from "pref:size-hashtable=" in the
// settings file (MB; the defaults without it).
#pragma once

#include "board/settings_file.h"
#include "eval/evalhash.h"
#include "search/tt.h"
#include "smp/platform.h"

inline constexpr const char* TT_MAPPING_PREFIX = "sharedHashtable";
inline constexpr const char* EVAL_HASH_MAPPING_PREFIX = "sharedEvalHashtable";

// The value of the last "pref:size-hashtable=" line; false when the file or
// the key is missing.
bool readHashSizeSetting(int* sizeSetting, const char* path = SETTINGS_FILE_NAME);
std::uint64_t transpositionEntries(const char* path = SETTINGS_FILE_NAME);
std::uint64_t evalHashEntries(const char* path = SETTINGS_FILE_NAME);

// Maps the table, attaches it and clears it (so each attaching process
// starts from an empty table). A mapping that fails prints
// "ERROR! Could not create file mapping object sharedHashtable." or
// "ERROR! Could not map view of file sharedHashtable." and ends the process
// with exit status 1.
void openTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping,
                            const char* suffix, const char* path = SETTINGS_FILE_NAME);
// "unmapping sharedHashtable...." and "Getting rid of handle sharedHashtable....",
// each when there is something to release.
void closeTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping);

// The same for the evaluation hash, which is not cleared on opening (a new
// mapping starts zeroed); its closing lines are printed under the output lock.
void openEvalHash(EvalHash& hash, platform::SharedMapping& mapping, const char* suffix,
                  const char* path = SETTINGS_FILE_NAME);
void closeEvalHash(EvalHash& hash, platform::SharedMapping& mapping);
