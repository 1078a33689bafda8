// The shared mappings of both hash tables: sizes from the settings file,
// one table for every process of an instance, and sizes the machine cannot hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "process_helpers.h"
#include "search/tt.h"
#include "smp/hash_tables.h"

namespace {

constexpr U64 KEY = 0x123456789ABCDEF0ULL;
constexpr Move M1 = 0x0321;

class HashMappingTest : public ::testing::Test {
  protected:
    HashMappingTest() {
        char dir[] = "/tmp/tarvok-tt-XXXXXX";
        if (mkdtemp(dir)) directory = dir;
        path = directory + "/tarvok init.ini";
    }
    ~HashMappingTest() override {
        std::remove(path.c_str());
        rmdir(directory.c_str());
    }
    void writeSettings(const std::string& text) {
        FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    std::string directory, path;
    TestInstance instance;
};

TEST_F(HashMappingTest, SizesComeFromTheSettingsFile) {
    EXPECT_EQ(transpositionEntries(path.c_str()), 2097152u); // no file
    EXPECT_EQ(evalHashEntries(path.c_str()), 4194304u);
    writeSettings("==== settings ====\npref:size-hashtable=64   (in MB)\n");
    EXPECT_EQ(transpositionEntries(path.c_str()), 4194304u);
    EXPECT_EQ(evalHashEntries(path.c_str()), 4194304u);
    writeSettings("pref:size-hashtable=8\n pref:size-hashtable=2\npref:size-hashtable=3.9\n");
    EXPECT_EQ(transpositionEntries(path.c_str()), 3u * 65536); // the last line wins
    writeSettings("pref:size-hashtable=100000\n");             // the largest size offered
    EXPECT_EQ(transpositionEntries(path.c_str()), 4096u * 65536);
    writeSettings("pref:size-hashtable=0\n");
    EXPECT_EQ(transpositionEntries(path.c_str()), 65536u);
    writeSettings("pref:size-hashtable=\n");
    EXPECT_EQ(evalHashEntries(path.c_str()), 65536u);
    writeSettings("pref:Size-hashtable=64\n");
    EXPECT_EQ(transpositionEntries(path.c_str()), 2097152u);
}

TEST_F(HashMappingTest, ProcessesShareTheTables) {
    TranspositionTable tt;
    EvalHash eval;
    platform::SharedMapping ttMap, evalMap;
    TableMade madeTt = makeTranspositionTable(tt, ttMap, "Id", 65536);
    TableMade madeEval = makeEvalHash(eval, evalMap, "Id", 65536);
    ASSERT_EQ(madeTt.status, platform::MapStatus::Ok);
    ASSERT_EQ(madeEval.status, platform::MapStatus::Ok);
    EXPECT_EQ(madeTt.bytesGot, madeTt.bytesAsked);
    EXPECT_EQ(tt.size(), 65536u);
    // Made at once, its memory taken when reserved (or written).
    struct stat st;
    ASSERT_EQ(fstat(ttMap.handle, &st), 0);
    EXPECT_EQ(st.st_blocks, 0);
    EXPECT_EQ(platform::reserveMapping(ttMap, 0, std::uint64_t{1} << 30), 0);
    ASSERT_EQ(fstat(ttMap.handle, &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_blocks) * 512, madeTt.bytesGot);
    EXPECT_EQ(eval.size(), 65536u);

    // A search process attaches to them as they are, whatever it would ask for.
    ChildProcess child(forkChild([&] {
        TranspositionTable t;
        EvalHash e;
        platform::SharedMapping tm, em;
        if (!attachTranspositionTable(t, tm, "Id") || !attachEvalHash(e, em, "Id")) return 1;
        if (tm.created || em.created || t.size() != 65536 || e.size() != 65536) return 2;
        t.store(KEY, 4, 0, 77, TT_EXACT, M1);
        e.store(KEY, -33);
        return 0;
    }));
    ASSERT_EQ(child.wait(5000), 0);
    EXPECT_EQ(tt.probe(KEY, 4, 0, 1), 77);
    EXPECT_EQ(static_cast<std::int16_t>(eval.probe(KEY)), -33);

    testing::internal::CaptureStdout();
    closeTranspositionTable(tt, ttMap);
    closeEvalHash(eval, evalMap);
    closeTranspositionTable(tt, ttMap); // nothing left to release: silent
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "unmapping sharedHashtable....\nGetting rid of handle sharedHashtable....\n"
              "unmapping sharedEvalHashtable....\nGetting rid of handle "
              "sharedEvalHashtable....\n");
    EXPECT_FALSE(tt.usable());

    // Without a table made by the front end there is nothing to attach to.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(attachTranspositionTable(tt, ttMap, "None"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR! Could not create file mapping object sharedHashtable.\n");
    EXPECT_FALSE(platform::objectExists("sharedHashtableNone"));
}

// Under a file-size limit (which shared memory obeys like a small /dev/shm)
// a table is halved until it fits, down to 1 MB; below that it fails and
// leaves nothing behind.
TEST_F(HashMappingTest, TableTooLargeIsHalvedUntilItFits) {
    struct Case {
        long limitKb;
        std::uint64_t ttGot, evalGot; // bytes, 0 = failed
    } cases[] = {
        {3 * 1024, 2 << 20, 2 << 20},
        {1536, 1 << 20, 1 << 20},
        {512, 0, 0},
    };
    for (const Case& c : cases) {
        Pipe results;
        ChildProcess child(forkChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(c.limitKb) * 1024,
                         static_cast<rlim_t>(c.limitKb) * 1024};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 1;
            TranspositionTable t;
            EvalHash e;
            platform::SharedMapping tm, em;
            TableMade a = makeTranspositionTable(t, tm, "Small", 64 * 65536);
            TableMade b = makeEvalHash(e, em, "Small", 64 * 65536);
            char text[128];
            std::snprintf(text, sizeof text, "%d %llu %llu %d %llu %llu %llu %llu\n",
                          static_cast<int>(a.status), (unsigned long long)a.bytesAsked,
                          (unsigned long long)a.bytesGot, static_cast<int>(b.status),
                          (unsigned long long)b.bytesAsked, (unsigned long long)b.bytesGot,
                          (unsigned long long)t.size(), (unsigned long long)e.size());
            results.send(text);
            return 0;
        }));
        ASSERT_EQ(child.wait(10000), 0) << c.limitKb;
        const int ok = static_cast<int>(platform::MapStatus::Ok);
        const int failed = static_cast<int>(platform::MapStatus::CreateFailed);
        char expected[128];
        std::snprintf(expected, sizeof expected, "%d %llu %llu %d %llu %llu %llu %llu",
                      c.ttGot ? ok : failed, 64ULL << 20, (unsigned long long)c.ttGot,
                      c.evalGot ? ok : failed, 32ULL << 20, (unsigned long long)c.evalGot,
                      (unsigned long long)c.ttGot / 16, (unsigned long long)c.evalGot / 8);
        EXPECT_EQ(results.receiveLine(5000), expected) << c.limitKb;
        if (!c.ttGot) {
            EXPECT_FALSE(platform::objectExists("sharedHashtableSmall"));
        }
        platform::removeInstanceObjects(platform::instanceId());
    }
}

} // namespace
