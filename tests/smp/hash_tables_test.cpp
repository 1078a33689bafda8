// The shared mappings of both hash tables: sizes from the settings file,
// one table for every process of an instance, and sizes the machine cannot hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
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
    writeSettings("pref:size-hashtable=0\n");
    EXPECT_EQ(transpositionEntries(path.c_str()), 65536u);
    writeSettings("pref:size-hashtable=\n");
    EXPECT_EQ(evalHashEntries(path.c_str()), 65536u);
    writeSettings("pref:Size-hashtable=64\n");
    EXPECT_EQ(transpositionEntries(path.c_str()), 2097152u);
}

TEST_F(HashMappingTest, ProcessesShareTheTables) {
    writeSettings("pref:size-hashtable=1\n");
    TranspositionTable tt;
    EvalHash eval;
    platform::SharedMapping ttMap, evalMap;
    openTranspositionTable(tt, ttMap, "Id", path.c_str());
    openEvalHash(eval, evalMap, "Id", path.c_str());
    EXPECT_EQ(tt.size(), 65536u);
    EXPECT_EQ(eval.size(), 65536u);
    EXPECT_TRUE(platform::objectExists("sharedHashtableId"));
    EXPECT_TRUE(platform::objectExists("sharedEvalHashtableId"));

    std::string settings = path;
    ChildProcess child(forkChild([&] {
        TranspositionTable t;
        EvalHash e;
        platform::SharedMapping tm, em;
        openTranspositionTable(t, tm, "Id", settings.c_str());
        openEvalHash(e, em, "Id", settings.c_str());
        if (tm.created || em.created) return 1;
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
}

TEST_F(HashMappingTest, SizeTheMachineCannotHoldEndsTheProcess) {
    writeSettings("pref:size-hashtable=2000000000\n");
    for (bool transposition : {true, false}) {
        Pipe out;
        std::string settings = path;
        ChildProcess child(forkChild([&] {
            dup2(out.writeEnd(), 1);
            platform::SharedMapping m;
            if (transposition) {
                TranspositionTable t;
                openTranspositionTable(t, m, "Big", settings.c_str());
            } else {
                EvalHash e;
                openEvalHash(e, m, "Big", settings.c_str());
            }
            return 0;
        }));
        EXPECT_EQ(child.wait(10000), 1);
        out.closeWrite();
        EXPECT_EQ(out.receiveAll(2000),
                  transposition
                      ? "ERROR! Could not create file mapping object sharedHashtable.\n"
                      : "ERROR! Could not create file mapping object sharedEvalHashtable.\n");
    }
    EXPECT_FALSE(platform::objectExists("sharedHashtableBig"));
}

} // namespace
