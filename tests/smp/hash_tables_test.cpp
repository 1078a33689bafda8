// The shared mappings of both hash tables: sizes from the settings file, the
// tables made, attached and closed, and sizes the machine cannot hold.
#include <gtest/gtest.h>

#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

#include "process_helpers.h"
#include "search/tt.h"
#include "smp/hash_tables.h"

namespace {

class HashMappingTest : public ::testing::Test {
  protected:
    ~HashMappingTest() override { std::remove(path.c_str()); }
    std::string path = "/tmp/tarvok-smp-" + std::to_string(getpid()) + ".ini";
    TestInstance instance;
};

TEST_F(HashMappingTest, SizesComeFromTheSettingsFile) {
    const std::tuple<const char*, std::uint64_t, std::uint64_t> cases[] = {
        {nullptr, 2097152, 4194304}, // no file
        {"==== settings ====\npref:size-hashtable=64   (in MB)\n", 4194304, 4194304},
        {"pref:size-hashtable=8\n pref:size-hashtable=2\npref:size-hashtable=3.9\n", 196608,
         196608},                                                           // the last line wins
        {"pref:size-hashtable=100000\n", 4096ULL * 65536, 4096ULL * 65536}, // the largest offered
        {"pref:size-hashtable=0\n", 65536, 65536},
        {"pref:size-hashtable=\n", 65536, 65536},
        {"pref:Size-hashtable=64\n", 2097152, 4194304},
    };
    for (const auto& [settings, tt, eval] : cases) {
        FILE* f = settings ? std::fopen(path.c_str(), "w") : nullptr;
        if (f) std::fputs(settings, f), std::fclose(f);
        EXPECT_EQ(transpositionEntries(path.c_str()), tt) << (settings ? settings : "no file");
        EXPECT_EQ(evalHashEntries(path.c_str()), eval) << (settings ? settings : "no file");
        std::remove(path.c_str());
    }
}

TEST_F(HashMappingTest, TablesAreMadeAttachedAndClosed) {
    TranspositionTable tt, attached;
    EvalHash eval;
    platform::SharedMapping ttMap, evalMap, attachedMap;
    TableMade made = makeTranspositionTable(tt, ttMap, "Id", 65536);
    ASSERT_EQ(made.status, platform::MapStatus::Ok);
    ASSERT_EQ(makeEvalHash(eval, evalMap, "Id", 65536).status, platform::MapStatus::Ok);
    EXPECT_EQ(eval.size(), 65536u);
    // Made at once; its memory is taken when reserved (or written).
    struct stat st;
    ASSERT_EQ(fstat(ttMap.handle, &st), 0);
    EXPECT_EQ(st.st_blocks, 0);
    EXPECT_EQ(platform::reserveMapping(ttMap, 0, std::uint64_t{1} << 30), 0);
    ASSERT_EQ(fstat(ttMap.handle, &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_blocks) * 512, made.bytesGot);
    // A search process attaches to the table as it is.
    ASSERT_TRUE(attachTranspositionTable(attached, attachedMap, "Id"));
    EXPECT_EQ(attached.size(), 65536u);
    attached.store(0x123456789ABCDEF0ULL, 4, 0, 77, TT_EXACT, 0x0321);
    EXPECT_EQ(tt.probe(0x123456789ABCDEF0ULL, 4, 0, 1), 77);

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
}

// Under a file-size limit (which shared memory obeys like a small /dev/shm)
// a table is halved until it fits, down to 1 MB; below that it fails and
// leaves nothing behind.
TEST_F(HashMappingTest, TableTooLargeIsHalvedUntilItFits) {
    // limit (kB) -> status, bytes asked and got, entries: transposition table, then eval hash
    const std::pair<long, const char*> cases[] = {
        {3 * 1024, "0 67108864 2097152 131072 0 33554432 2097152 262144"},
        {1536, "0 67108864 1048576 65536 0 33554432 1048576 131072"},
        {512, "1 67108864 0 0 1 33554432 0 0"},
    };
    for (const auto& [limitKb, expected] : cases) {
        Pipe results;
        ChildProcess child(forkChild([&] {
            rlimit limit{static_cast<rlim_t>(limitKb) * 1024, static_cast<rlim_t>(limitKb) * 1024};
            TranspositionTable t;
            EvalHash e;
            platform::SharedMapping tm, em;
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 1;
            auto text = [](TableMade m, std::uint64_t size) {
                return std::to_string(int(m.status)) + " " + std::to_string(m.bytesAsked) + " " +
                       std::to_string(m.bytesGot) + " " + std::to_string(size);
            };
            TableMade a = makeTranspositionTable(t, tm, "Small", 64 * 65536);
            TableMade b = makeEvalHash(e, em, "Small", 64 * 65536);
            results.send(text(a, t.size()) + " " + text(b, e.size()) + "\n");
            return 0;
        }));
        ASSERT_EQ(child.wait(10000), 0) << limitKb;
        EXPECT_EQ(results.receiveLine(5000), expected) << limitKb;
        EXPECT_EQ(platform::objectExists("sharedHashtableSmall"), limitKb > 1024) << limitKb;
        platform::removeInstanceObjects(platform::instanceId());
    }
}

} // namespace
