#include "smp/hash_tables.h"

#include <cstdio>

#include "smp/locks.h"

namespace {
// The largest size the engine offers (UCI "Hash ... max 4096"); larger
// settings are held to it.
constexpr int LARGEST_HASH_SETTING = 4096;
} // namespace

bool readHashSizeSetting(int* sizeSetting, const char* path) {
    SettingsFile file;
    if (!file.open(path)) return false;
    bool found = false;
    while (const char* line = file.nextLine()) {
        if (const char* value = settingsValue(line, "pref:size-hashtable=")) {
            *sizeSetting = readNumber(value);
            if (*sizeSetting > LARGEST_HASH_SETTING) *sizeSetting = LARGEST_HASH_SETTING;
            found = true;
        }
    }
    return found;
}

std::uint64_t transpositionEntries(const char* path) {
    int size = 0;
    return readHashSizeSetting(&size, path) ? TranspositionTable::entriesForSetting(size)
                                            : TranspositionTable::DEFAULT_ENTRIES;
}

std::uint64_t evalHashEntries(const char* path) {
    int size = 0;
    return readHashSizeSetting(&size, path) ? EvalHash::entriesForSetting(size)
                                            : EvalHash::DEFAULT_ENTRIES;
}

namespace {

constexpr std::uint64_t SMALLEST_TABLE_BYTES = std::uint64_t{1} << 20;

// Maps the table with `entries` entries, halving them while the memory
// cannot be had and the table is above 1 MB. On success mapping holds a
// whole number of entries.
TableMade mapTable(platform::SharedMapping& mapping, const char* prefix, const char* suffix,
                   std::uint64_t entries, std::uint64_t entrySize) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, prefix, suffix);
    TableMade made;
    // entries * entrySize cannot overflow: entries is at most 65536 * 2^31.
    made.bytesAsked = entries * entrySize;
    const std::uint64_t fewest = SMALLEST_TABLE_BYTES / entrySize;
    for (;;) {
        made.status = platform::openMapping(mapping, name, entries * entrySize);
        if (made.status == platform::MapStatus::Ok && mapping.bytes >= entrySize) {
            made.bytesGot = mapping.bytes / entrySize * entrySize;
            return made;
        }
        platform::unmapView(mapping);
        platform::closeHandle(mapping);
        if (made.status == platform::MapStatus::Ok) made.status = platform::MapStatus::MapFailed;
        if (entries <= fewest) return made;
        entries = entries / 2 > fewest ? entries / 2 : fewest;
    }
}

// Maps the existing table; prints the failure line when it cannot.
bool attachTable(platform::SharedMapping& mapping, const char* prefix, const char* suffix,
                 std::uint64_t entrySize) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, prefix, suffix);
    // No size: only an existing mapping is opened, never a new one made.
    platform::MapStatus status = platform::openMapping(mapping, name, 0);
    if (status == platform::MapStatus::Ok && mapping.bytes >= entrySize) return true;
    platform::unmapView(mapping);
    platform::closeHandle(mapping);
    printTableFailure(prefix,
                      status == platform::MapStatus::Ok ? platform::MapStatus::MapFailed : status);
    return false;
}

} // namespace

void printTableFailure(const char* prefix, platform::MapStatus status) {
    std::printf(status == platform::MapStatus::CreateFailed
                    ? "ERROR! Could not create file mapping object %s.\n"
                    : "ERROR! Could not map view of file %s.\n",
                prefix);
    std::fflush(stdout);
}

TableMade makeTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping,
                                 const char* suffix, std::uint64_t entries) {
    TableMade made = mapTable(mapping, TT_MAPPING_PREFIX, suffix, entries, sizeof(TTEntry));
    if (made.status == platform::MapStatus::Ok)
        tt.attach(static_cast<TTEntry*>(mapping.address), made.bytesGot / sizeof(TTEntry));
    return made;
}

TableMade makeEvalHash(EvalHash& hash, platform::SharedMapping& mapping, const char* suffix,
                       std::uint64_t entries) {
    TableMade made = mapTable(mapping, EVAL_HASH_MAPPING_PREFIX, suffix, entries, sizeof(U64));
    if (made.status == platform::MapStatus::Ok)
        hash.attach(static_cast<U64*>(mapping.address), made.bytesGot / sizeof(U64));
    return made;
}

bool attachTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping,
                              const char* suffix) {
    if (!attachTable(mapping, TT_MAPPING_PREFIX, suffix, sizeof(TTEntry))) return false;
    tt.attach(static_cast<TTEntry*>(mapping.address), mapping.bytes / sizeof(TTEntry));
    return true;
}

bool attachEvalHash(EvalHash& hash, platform::SharedMapping& mapping, const char* suffix) {
    if (!attachTable(mapping, EVAL_HASH_MAPPING_PREFIX, suffix, sizeof(U64))) return false;
    hash.attach(static_cast<U64*>(mapping.address), mapping.bytes / sizeof(U64));
    return true;
}

void closeTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping) {
    tt.detach();
    if (mapping.address) {
        std::printf("unmapping sharedHashtable....\n");
        platform::unmapView(mapping);
    }
    if (mapping.handle >= 0) {
        std::printf("Getting rid of handle sharedHashtable....\n");
        platform::closeHandle(mapping);
    }
}

void closeEvalHash(EvalHash& hash, platform::SharedMapping& mapping) {
    hash.detach();
    if (mapping.address) {
        printLocked("unmapping sharedEvalHashtable....\n");
        platform::unmapView(mapping);
    }
    if (mapping.handle >= 0) {
        printLocked("Getting rid of handle sharedEvalHashtable....\n");
        platform::closeHandle(mapping);
    }
}
