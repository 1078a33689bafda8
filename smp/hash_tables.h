// The shared mappings of the two hash tables: "sharedHashtable" + identity for
// the transposition table and "sharedEvalHashtable" + identity for the
// evaluation hash. The front end makes them, with the size of
// "pref:size-hashtable=" in the settings file (MB; the defaults without it),
// smaller when that much memory cannot be had; the search processes attach
// to them as they are.
#pragma once

#include "board/settings_file.h"
#include "eval/evalhash.h"
#include "search/tt.h"
#include "smp/platform.h"

inline constexpr const char* TT_MAPPING_PREFIX = "sharedHashtable";
inline constexpr const char* EVAL_HASH_MAPPING_PREFIX = "sharedEvalHashtable";

// The value of the last "pref:size-hashtable=" line, held to at most 4096
// (MB); false when the file or the key is missing.
bool readHashSizeSetting(int* sizeSetting, const char* path = SETTINGS_FILE_NAME);
std::uint64_t transpositionEntries(const char* path = SETTINGS_FILE_NAME);
std::uint64_t evalHashEntries(const char* path = SETTINGS_FILE_NAME);

// How making a table went: Ok with the bytes asked for and the bytes got
// (fewer when the size was halved to fit), or the failure of the last try.
struct TableMade {
    platform::MapStatus status = platform::MapStatus::CreateFailed;
    std::uint64_t bytesAsked = 0;
    std::uint64_t bytesGot = 0;
};

// Front end: makes the table with `entries` entries and attaches it. When the
// memory cannot be had, the size is halved until it fits, down to 1 MB. A new
// mapping is zero already, so the table is not cleared. Prints nothing: the
// caller says what it got, or ends.
TableMade makeTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping,
                                 const char* suffix, std::uint64_t entries);
TableMade makeEvalHash(EvalHash& hash, platform::SharedMapping& mapping, const char* suffix,
                       std::uint64_t entries);
// "ERROR! Could not create file mapping object <prefix>." or
// "ERROR! Could not map view of file <prefix>.", as status says.
void printTableFailure(const char* prefix, platform::MapStatus status);

// Search process: attaches the table the front end made, whatever its size.
// False (with the failure line printed) when it cannot be mapped.
bool attachTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping,
                              const char* suffix);
bool attachEvalHash(EvalHash& hash, platform::SharedMapping& mapping, const char* suffix);

// "unmapping sharedHashtable...." and "Getting rid of handle sharedHashtable....",
// each when there is something to release.
void closeTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping);
// The same for the evaluation hash, its lines printed under the output lock.
void closeEvalHash(EvalHash& hash, platform::SharedMapping& mapping);
