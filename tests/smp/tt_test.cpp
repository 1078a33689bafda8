// The transposition table's probe and replacement rules, and the shared
// mappings of both hash tables.
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
constexpr Move M1 = 0x0321, M2 = 0x0456;

class TTTest : public ::testing::Test {
  protected:
    explicit TTTest(std::uint64_t entries = 1000) : memory(entries) {
        tt.attach(memory.data(), memory.size());
    }
    TTEntry& slotOf(U64 key) { return memory[key % memory.size()]; }
    std::vector<TTEntry> memory;
    TranspositionTable tt;
};

TEST_F(TTTest, ProbeAnswersByBound) {
    tt.store(KEY, 5, 0, 120, TT_LOWER, M1);
    EXPECT_EQ(tt.probe(KEY, 5, 0, 100), 100); // score >= beta: beta
    EXPECT_EQ(tt.probe(KEY, 5, 0, 120), 120);
    EXPECT_EQ(tt.probe(KEY, 5, 0, 121), TT_NO_CUTOFF);
    EXPECT_EQ(tt.probe(KEY, 6, 0, 100), TT_NO_CUTOFF); // too shallow
    EXPECT_EQ(tt.probe(KEY, 4, 0, 100), 100);

    tt.store(KEY + 1, 5, 0, -30, TT_UPPER, M1);
    EXPECT_EQ(tt.probe(KEY + 1, 5, -20, 50), -20); // score <= alpha: alpha
    EXPECT_EQ(tt.probe(KEY + 1, 5, -30, 50), -30);
    EXPECT_EQ(tt.probe(KEY + 1, 5, -31, 50), TT_NO_CUTOFF);

    // Exact scores come back as they are, even outside the window.
    tt.store(KEY + 2, 5, 0, -16000, TT_EXACT, M1);
    EXPECT_EQ(tt.probe(KEY + 2, 3, 100, 200), -16000);
    EXPECT_EQ(tt.probe(KEY + 2, 3, -16500, -16400), -16000);

    // Other positions miss, also in a used slot.
    EXPECT_EQ(tt.probe(KEY + 1000, 0, -16000, 16000), TT_NO_CUTOFF);
    EXPECT_EQ(tt.bestMove(KEY + 1000), NO_MOVE);
    EXPECT_EQ(tt.bestMove(KEY), M1);
}

TEST_F(TTTest, EntryLayoutAndModuloIndexing) {
    // 1000 entries: keys 1000 apart share a slot, keys 1024 apart do not.
    tt.store(KEY, 7, 66, -5, TT_EXACT, M2);
    const TTEntry& e = memory[KEY % 1000];
    EXPECT_EQ(e.data0, M2);
    EXPECT_EQ(e.data1, (std::uint32_t{0xFFFB}) | 7u << 16 | 2u << 22 | 2u << 28);
    EXPECT_EQ(e.keyLow ^ e.data0, static_cast<std::uint32_t>(KEY));
    EXPECT_EQ(e.keyHigh ^ e.data1, static_cast<std::uint32_t>(KEY >> 32));
    tt.store(KEY + 1024, 3, 66, 9, TT_EXACT, M1);
    EXPECT_EQ(tt.probe(KEY, 7, 0, 1), -5);
    EXPECT_EQ(tt.probe(KEY + 1024, 3, 0, 1), 9);
    tt.store(KEY + 1000, 9, 66, 11, TT_EXACT, M1);
    EXPECT_EQ(tt.probe(KEY, 0, 0, 1), TT_NO_CUTOFF);
    EXPECT_EQ(tt.probe(KEY + 1000, 9, 0, 1), 11);
}

TEST_F(TTTest, DeeperEntryOfTheSameAgeIsKept) {
    tt.store(KEY, 8, 10, 50, TT_EXACT, M1);
    // Another position in the slot, shallower, same age: nothing changes.
    tt.store(KEY + 1000, 3, 10 + 64, 70, TT_EXACT, M2);
    EXPECT_EQ(tt.probe(KEY, 8, 0, 100), 50);
    EXPECT_EQ(tt.bestMove(KEY + 1000), NO_MOVE);
    // The same position, shallower, same age: not even the move changes.
    tt.store(KEY, 4, 10, 90, TT_EXACT, M2);
    EXPECT_EQ(tt.probe(KEY, 8, 0, 100), 50);
    EXPECT_EQ(tt.bestMove(KEY), M1);
    // A newer search replaces it with a shallower entry of another position.
    tt.store(KEY + 1000, 3, 11, 70, TT_LOWER, M2);
    EXPECT_EQ(tt.bestMove(KEY), NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 1000, 3, 0, 60), 60);
}

TEST_F(TTTest, OlderDeeperResultKeepsItsScoreButTakesTheMove) {
    tt.store(KEY, 8, 10, 50, TT_EXACT, M1);
    tt.store(KEY, 4, 11, 90, TT_LOWER, M2);
    EXPECT_EQ(tt.probe(KEY, 8, 0, 100), 50);
    EXPECT_EQ(tt.bestMove(KEY), M2);
    EXPECT_EQ(slotOf(KEY).data1 >> 22 & 63, 10u); // age unchanged too
}

TEST_F(TTTest, EqualDepthReplacementRules) {
    // Exact stays against anything of equal depth; only the move may change.
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    tt.store(KEY, 5, 0, 99, TT_LOWER, M2);
    EXPECT_EQ(tt.probe(KEY, 5, -100, 100), 40);
    EXPECT_EQ(tt.bestMove(KEY), M2);

    // A lower bound that is not higher only updates the move...
    // (the age shows whether the entry was rewritten).
    tt.store(KEY + 1, 5, 0, 40, TT_LOWER, M1);
    tt.store(KEY + 1, 5, 3, 40, TT_LOWER, M2);
    EXPECT_EQ(tt.probe(KEY + 1, 5, 0, 40), 40);
    EXPECT_EQ(tt.bestMove(KEY + 1), M2);
    EXPECT_EQ(slotOf(KEY + 1).data1 >> 22 & 63, 0u);
    tt.store(KEY + 1, 5, 0, 30, TT_LOWER, NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 1, 5, 0, 40), 40);
    EXPECT_EQ(tt.bestMove(KEY + 1), M2);
    // ...a higher one replaces it.
    tt.store(KEY + 1, 5, 0, 45, TT_LOWER, NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 1, 5, 0, 45), 45);
    EXPECT_EQ(tt.bestMove(KEY + 1), M2); // a zero move keeps the stored one

    // Upper bounds: a bound that is not lower stays out, a lower one goes in.
    tt.store(KEY + 2, 5, 0, -10, TT_UPPER, M1);
    tt.store(KEY + 2, 5, 0, -5, TT_UPPER, NO_MOVE);
    tt.store(KEY + 2, 5, 3, -10, TT_UPPER, NO_MOVE);
    EXPECT_EQ(slotOf(KEY + 2).data1 >> 22 & 63, 0u);
    EXPECT_EQ(tt.probe(KEY + 2, 5, -10, 0), -10);
    EXPECT_EQ(tt.probe(KEY + 2, 5, -11, 0), TT_NO_CUTOFF);
    tt.store(KEY + 2, 5, 0, -20, TT_UPPER, NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 2, 5, -20, 0), -20);
    EXPECT_EQ(tt.bestMove(KEY + 2), M1);

    // Any other bound at equal depth replaces; so does a deeper store.
    tt.store(KEY + 3, 5, 0, 10, TT_UPPER, M1);
    tt.store(KEY + 3, 5, 0, 80, TT_LOWER, M2);
    EXPECT_EQ(tt.probe(KEY + 3, 5, 0, 70), 70);
    tt.store(KEY + 3, 6, 0, 20, TT_EXACT, NO_MOVE);
    EXPECT_EQ(tt.probe(KEY + 3, 6, 0, 70), 20);
    EXPECT_EQ(tt.bestMove(KEY + 3), M2);
}

TEST_F(TTTest, MoveOnlyUpdateKeepsTheOtherBitsOfItsWord) {
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    TTEntry& e = slotOf(KEY);
    // Bits 16-31 of the move word are never written by a store, but a move
    // update must carry them over rather than clear them.
    e.data0 |= 0xABCD0000u;
    e.keyLow ^= 0xABCD0000u;
    ASSERT_EQ(tt.bestMove(KEY), M1);
    tt.store(KEY, 5, 0, 40, TT_EXACT, M2);
    EXPECT_EQ(e.data0, 0xABCD0000u | M2);
    EXPECT_EQ(tt.bestMove(KEY), M2);
}

TEST_F(TTTest, TornEntryReadsAsAMiss) {
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    TTEntry first = slotOf(KEY);
    tt.store(KEY + 1000, 6, 0, -70, TT_LOWER, M2);
    TTEntry second = slotOf(KEY);
    // Key words of the first store with data words of the second, and the
    // other way round: neither position is found.
    for (bool keysOfFirst : {true, false}) {
        TTEntry& e = slotOf(KEY);
        const TTEntry& k = keysOfFirst ? first : second;
        const TTEntry& d = keysOfFirst ? second : first;
        e = TTEntry{k.keyLow, k.keyHigh, d.data0, d.data1};
        for (U64 key : {KEY, KEY + 1000}) {
            EXPECT_EQ(tt.probe(key, 0, -16000, 16000), TT_NO_CUTOFF);
            EXPECT_EQ(tt.bestMove(key), NO_MOVE);
        }
        // Only the move word torn is a miss as well.
        e = TTEntry{first.keyLow, first.keyHigh, second.data0, first.data1};
        EXPECT_EQ(tt.bestMove(KEY), NO_MOVE);
    }
}

TEST_F(TTTest, ClearEmptiesEveryEntry) {
    for (U64 k = 0; k < 3000; k += 7) tt.store(KEY + k, 3, 0, 1, TT_EXACT, M1);
    tt.clear();
    for (const TTEntry& e : memory) {
        EXPECT_EQ(e.keyLow | e.keyHigh | e.data0 | e.data1, 0u);
    }
}

TEST(TTSizes, EntriesForTheSizeSetting) {
    EXPECT_EQ(TranspositionTable::entriesForSetting(64), 4194304u);
    EXPECT_EQ(TranspositionTable::entriesForSetting(0), 65536u);
    EXPECT_EQ(TranspositionTable::entriesForSetting(-3), 65536u);
    // 4096 MB and more are counted in 64 bits.
    EXPECT_EQ(TranspositionTable::entriesForSetting(4096) * sizeof(TTEntry), 4ULL << 30);
    EXPECT_EQ(EvalHash::entriesForSetting(64), 4194304u);
}

TEST(TTSizes, DetachedTableAnswersNothing) {
    TranspositionTable tt;
    tt.store(KEY, 5, 0, 40, TT_EXACT, M1);
    tt.clear();
    EXPECT_EQ(tt.probe(KEY, 0, -16000, 16000), TT_NO_CUTOFF);
    EXPECT_EQ(tt.bestMove(KEY), NO_MOVE);
    std::vector<TTEntry> memory(4);
    tt.attach(memory.data(), 0);
    EXPECT_FALSE(tt.usable());
}

// ---- The shared mappings ----

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
    writeSettings("pref:size-hashtable=100000\n"); // the largest size offered
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
