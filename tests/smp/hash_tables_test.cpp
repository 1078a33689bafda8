// The shared mappings of both hash tables: sizes from the settings file, one
// table for every process of an instance, and sizes the machine cannot hold.
#include <gtest/gtest.h>

#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

#include "process_helpers.h"
#include "search/tt.h"
#include "smp/hash_tables.h"

namespace {

constexpr U64 KEY = 0x123456789ABCDEF0ULL;

class HashMappingTest : public ::testing::Test {
  protected:
    ScratchDirectory directory{""};
    TestInstance instance;
};

TEST_F(HashMappingTest, SizesComeFromTheSettingsFile) {
    struct Case {
        const char* settings; // nullptr: no file
        std::uint64_t tt, eval;
    } cases[] = {
        {nullptr, 2097152, 4194304},
        {"==== settings ====\npref:size-hashtable=64   (in MB)\n", 4194304, 4194304},
        {"pref:size-hashtable=8\n pref:size-hashtable=2\npref:size-hashtable=3.9\n", 3 * 65536,
         3 * 65536},                                                        // the last line wins
        {"pref:size-hashtable=100000\n", 4096ULL * 65536, 4096ULL * 65536}, // the largest offered
        {"pref:size-hashtable=0\n", 65536, 65536},
        {"pref:size-hashtable=\n", 65536, 65536},
        {"pref:Size-hashtable=64\n", 2097152, 4194304},
    };
    for (const Case& c : cases) {
        std::remove(SETTINGS_FILE_NAME);
        if (c.settings) directory.writeSettings(c.settings);
        EXPECT_EQ(transpositionEntries(), c.tt) << (c.settings ? c.settings : "no file");
        EXPECT_EQ(evalHashEntries(), c.eval) << (c.settings ? c.settings : "no file");
    }
}

TEST_F(HashMappingTest, ProcessesShareTheTables) {
    TranspositionTable tt;
    EvalHash eval;
    platform::SharedMapping ttMap, evalMap;
    TableMade made = makeTranspositionTable(tt, ttMap, "Id", 65536);
    ASSERT_EQ(made.status, platform::MapStatus::Ok);
    ASSERT_EQ(makeEvalHash(eval, evalMap, "Id", 65536).status, platform::MapStatus::Ok);
    EXPECT_EQ(made.bytesGot, made.bytesAsked);
    EXPECT_EQ(tt.size(), 65536u);
    EXPECT_EQ(eval.size(), 65536u);
    // Made at once; its memory is taken when reserved (or written).
    struct stat st;
    ASSERT_EQ(fstat(ttMap.handle, &st), 0);
    EXPECT_EQ(st.st_blocks, 0);
    EXPECT_EQ(platform::reserveMapping(ttMap, 0, std::uint64_t{1} << 30), 0);
    ASSERT_EQ(fstat(ttMap.handle, &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_blocks) * 512, made.bytesGot);

    // A search process attaches to them as they are.
    EXPECT_EQ(ChildProcess(forkChild([&] {
                  TranspositionTable t;
                  EvalHash e;
                  platform::SharedMapping tm, em;
                  if (!attachTranspositionTable(t, tm, "Id") || !attachEvalHash(e, em, "Id"))
                      return 1;
                  if (tm.created || em.created || t.size() != 65536 || e.size() != 65536) return 2;
                  t.store(KEY, 4, 0, 77, TT_EXACT, 0x0321);
                  e.store(KEY, -33);
                  return 0;
              })).wait(5000),
              0);
    EXPECT_EQ(tt.probe(KEY, 4, 0, 1), 77);
    EXPECT_EQ(static_cast<std::int16_t>(eval.probe(KEY)), -33);

    testing::internal::CaptureStdout();
    closeTranspositionTable(tt, ttMap);
    closeEvalHash(eval, evalMap);
    closeTranspositionTable(tt, ttMap);                        // nothing left to release: silent
    EXPECT_FALSE(attachTranspositionTable(tt, ttMap, "None")); // no table made by a front end
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "unmapping sharedHashtable....\nGetting rid of handle sharedHashtable....\n"
              "unmapping sharedEvalHashtable....\nGetting rid of handle sharedEvalHashtable....\n"
              "ERROR! Could not create file mapping object sharedHashtable.\n");
    EXPECT_FALSE(tt.usable());
    EXPECT_FALSE(platform::objectExists("sharedHashtableNone"));
}

// Under a file-size limit (which shared memory obeys like a small /dev/shm)
// a table is halved until it fits, down to 1 MB; below that it fails and
// leaves nothing behind.
TEST_F(HashMappingTest, TableTooLargeIsHalvedUntilItFits) {
    // limit in kB -> status, bytes asked and got, entries: transposition table, then eval hash
    const std::pair<long, const char*> cases[] = {
        {3 * 1024, "0 67108864 2097152 131072 0 33554432 2097152 262144"},
        {1536, "0 67108864 1048576 65536 0 33554432 1048576 131072"},
        {512, "1 67108864 0 0 1 33554432 0 0"},
    };
    for (const auto& [limitKb, expected] : cases) {
        Pipe results;
        ChildProcess child(forkChild([&] {
            rlimit limit{static_cast<rlim_t>(limitKb) * 1024, static_cast<rlim_t>(limitKb) * 1024};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 1;
            TranspositionTable t;
            EvalHash e;
            platform::SharedMapping tm, em;
            TableMade a = makeTranspositionTable(t, tm, "Small", 64 * 65536);
            TableMade b = makeEvalHash(e, em, "Small", 64 * 65536);
            results.send(std::to_string(int(a.status)) + " " + std::to_string(a.bytesAsked) + " " +
                         std::to_string(a.bytesGot) + " " + std::to_string(t.size()) + " " +
                         std::to_string(int(b.status)) + " " + std::to_string(b.bytesAsked) + " " +
                         std::to_string(b.bytesGot) + " " + std::to_string(e.size()) + "\n");
            return 0;
        }));
        ASSERT_EQ(child.wait(10000), 0) << limitKb;
        EXPECT_EQ(results.receiveLine(5000), expected) << limitKb;
        EXPECT_EQ(platform::objectExists("sharedHashtableSmall"), limitKb > 1024) << limitKb;
        platform::removeInstanceObjects(platform::instanceId());
    }
}

} // namespace
