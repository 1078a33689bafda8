#include "smp/hash_tables.h"

#include <cstdio>
#include <cstdlib>

#include "smp/locks.h"

bool readHashSizeSetting(int* sizeSetting, const char* path) {
    SettingsFile file;
    if (!file.open(path)) return false;
    bool found = false;
    while (const char* line = file.nextLine()) {
        if (const char* value = settingsValue(line, "pref:size-hashtable=")) {
            *sizeSetting = readNumber(value);
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

// Maps the table or ends the process with the failure message. Returns the
// number of entries of the mapping (an existing mapping keeps its own size).
std::uint64_t mapTable(platform::SharedMapping& mapping, const char* prefix, const char* suffix,
                       std::uint64_t entries, std::uint64_t entrySize) {
    char name[OBJECT_NAME_SIZE];
    objectName(name, prefix, suffix);
    // entries * entrySize cannot overflow: entries is at most 65536 * 2^31.
    platform::MapStatus status = platform::openMapping(mapping, name, entries * entrySize);
    if (status == platform::MapStatus::Ok && mapping.bytes >= entrySize)
        return mapping.bytes / entrySize;
    if (status == platform::MapStatus::CreateFailed) {
        std::printf("ERROR! Could not create file mapping object %s.\n", prefix);
    } else {
        std::printf("ERROR! Could not map view of file %s.\n", prefix);
        platform::unmapView(mapping);
        platform::closeHandle(mapping);
    }
    std::fflush(stdout);
    std::exit(1);
}

} // namespace

void openTranspositionTable(TranspositionTable& tt, platform::SharedMapping& mapping,
                            const char* suffix, const char* path) {
    std::uint64_t count =
        mapTable(mapping, TT_MAPPING_PREFIX, suffix, transpositionEntries(path), sizeof(TTEntry));
    tt.attach(static_cast<TTEntry*>(mapping.address), count);
    tt.clear();
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

void openEvalHash(EvalHash& hash, platform::SharedMapping& mapping, const char* suffix,
                  const char* path) {
    std::uint64_t count =
        mapTable(mapping, EVAL_HASH_MAPPING_PREFIX, suffix, evalHashEntries(path), sizeof(U64));
    hash.attach(static_cast<U64*>(mapping.address), count);
}

namespace {
void printLocked(const char* line) {
    bool locked = outputLock.valid();
    if (locked) lockOutput();
    std::printf("%s", line);
    if (locked) unlockOutput();
}
} // namespace

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
