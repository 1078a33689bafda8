// Registration of table files at start-up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb_support.h"
#include "tools/emd_writer.h"

namespace {

constexpr int KBK = 3, KRK = 4, KQK = 5, KRKR = 15;

std::string registered(int id, int side) {
    return tableRegistry[id].fileName[side];
}

TEST(EgtbRegistry, DirectoriesAreSearchedInOrderAndTheFirstFileOfASideWins) {
    RegistryScope scope;
    TableDir dir;
    dir.write("a/krk.nbw", Bytes(10, 1));
    dir.write("b/krk.nbw", Bytes(20, 1));
    dir.write("b/krk.nbb", Bytes(30, 1));
    dir.write("c/kqk.nbw", Bytes(40, 1));
    dir.write("c/krk.nbb", Bytes(50, 1));
    const std::string a = dir.file("a"), b = dir.file("b"), c = dir.file("c");
    EXPECT_EQ(registerTables((a + ";" + b + "," + c).c_str()), 3);
    EXPECT_EQ(registered(KRK, 0) + " " + registered(KRK, 1) + " " + registered(KQK, 0) + ".",
              a + "/krk.nbw " + b + "/krk.nbb " + c + "/kqk.nbw.");
    EXPECT_EQ(registered(KQK, 1), "");
    EXPECT_EQ(tableRegistry[KRK].length[0], 10u);
    EXPECT_EQ(tableRegistry[KRK].length[1], 20u + 10u);
    // Registering again forgets the earlier files.
    EXPECT_EQ(registerTables((c + "," + a).c_str()), 3);
    EXPECT_EQ(registered(KRK, 0), a + "/krk.nbw");
    EXPECT_EQ(registered(KRK, 1), c + "/krk.nbb");
    EXPECT_EQ(tableRegistry[KRK].length[1], 50u);
    EXPECT_EQ(registerTables(dir.file("none").c_str()), 0);
    EXPECT_EQ(registered(KRK, 0), "");
    // An empty piece of the list is the current directory.
    dir.write("kbk.nbw", Bytes(5, 0));
    for (std::string list : {"", ";b", "b,"}) {
        ChildResult r = runInChild([&] {
            if (chdir(dir.path().c_str()) != 0) return;
            int pieces = registerTables(list.c_str());
            std::printf("%d [%s] [%s]", pieces, registered(KBK, 0).c_str(),
                        registered(KRK, 1).c_str());
        });
        EXPECT_EQ(r.output, list.empty() ? "3 [kbk.nbw] []" : "3 [kbk.nbw] [b/krk.nbb]") << list;
    }
}

// The piece count follows the highest table found (ids 5/6, 35/36, 145/146).
TEST(EgtbRegistry, FileFormsSymmetricTablesAndThePieceCount) {
    RegistryScope scope;
    TableDir dir;
    Bytes small(100, 3);
    const char* forms[] = {"krk.nbw", "krk.nbw.emd", "krk_nbw.emd", "krknbw.emd"};
    dir.write(forms[0], Bytes(200, 3));
    for (int i = 1; i < 4; ++i) dir.write(forms[i], compressTable(small.data(), small.size()));
    for (int i = 0; i < 4; ++i) {
        registerTables(dir.path().c_str());
        EXPECT_EQ(registered(KRK, 0), dir.file(forms[i]));
        EXPECT_EQ(tableRegistry[KRK].length[0], i == 0 ? 200u : 100u);
        unlink(dir.file(forms[i]).c_str());
    }
    ASSERT_EQ(mkdir(dir.file("kqk.nbw").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(dir.file("kqk.nbb").c_str(), 0600), 0);
    dir.write("krkr.nbw", Bytes(64, 0));
    dir.write("krkr.nbb", Bytes(64, 0));
    EXPECT_EQ(registerTables(dir.path().c_str()), 4);
    EXPECT_EQ(registered(KQK, 0) + registered(KQK, 1), "");
    EXPECT_EQ(registered(KRKR, 0) + "|" + registered(KRKR, 1), dir.file("krkr.nbw") + "|");
    int flags = 0; // 9 symmetric tables and 4 of 16-bit values
    for (const TableDesc& t : tableRegistry)
        flags += (t.flags & TABLE_SYMMETRIC) * 10 + t.flags / 2;
    EXPECT_EQ(flags, 94);
    const std::tuple<const char*, std::uint64_t, int> cases[] = {
        {"kqk.nbw", 1, 3},          {"kpkp.nbw", 3863492, 4}, {"kqqk.nbb", 1, 4},
        {"kppkp.nbw", 84219361, 5}, {"kqqqk.nbw", 1, 5},      {"knnknn.nbw", 1, 6}};
    for (const auto& [name, size, pieces] : cases) {
        TableDir one;
        one.write(name, {}, size);
        EXPECT_EQ(registerTables(one.path().c_str()), pieces) << name;
    }
}

TEST(EgtbRegistry, StartUpLinesAndBrokenFiles) {
    RegistryScope scope;
    TableDir dir, empty;
    dir.write("kbk.nbw", Bytes(8, 0));
    dir.write("kbkp.nbb", Bytes(8, 0));
    auto start = [](const std::string& list, std::int64_t mb, bool quiet) {
        return runInChild([&] {
            initEgtb(list.c_str(), mb, quiet);
            std::printf("max %d entries %d\n", egtbMaxPieces, cacheEntryCount());
        });
    };
    EXPECT_EQ(start(dir.path(), 3, false).output,
              "Egtbs initializated(4)\nEgtb cache size 3M\nmax 4 entries 380\n");
    EXPECT_EQ(start(dir.path(), 3, true).output, "max 4 entries 380\n");
    EXPECT_EQ(start(empty.path(), 3, false).output, "max 0 entries 380\n");
    EXPECT_EQ(start(dir.path(), 0, false).output,
              "Egtbs initializated(4)\nEgtb cache size 0M\nmax 4 entries 0\n");
    EXPECT_EQ(start(dir.path(), -1, false).output,
              "Out of memory error: Cannot allocate memory\nmax 0 entries 0\n");
    // Each broken file prints its line on standard output and ends with status 1.
    Bytes data = randomBytes(2 * EMD_BLOCK_SIZE, 9);
    const Bytes good = compressTable(data.data(), data.size());
    Bytes recrc = good, badCrc = good;
    refreshEmdCrc(recrc);
    badCrc[90] ^= 4;
    const Bytes oneTooMany = randomBytes(26283, 3); // knk White to move has 26282
    EmdLayout small;                                // blocks of 4096
    small.blockShift = 12;
    small.blocks = {{1}};
    small.lastSize = 5;
    auto head = [&](int n) { return Bytes(good.begin(), good.begin() + n); };
    const std::vector<std::tuple<const char*, Bytes, const char*>> cases = {
        {"kpk.nbw", Bytes(81663, 0), "*** %s corrupted\n"},
        {"krk_nbb.emd", head(60), "*** Unable to read %s - read error\n"},
        {"krknbw.emd", head(100), "*** Unable to read %s - out of memory\n"},
        {"krk.nbw.emd", badCrc, "*** Unable to read %s - file broken\n"},
        {"kqk.nbb.emd", writeEmdFile(small), "*** %s: Unsupported block size 4096\n"},
        {"knk.nbw.emd", compressTable(oneTooMany.data(), oneTooMany.size()), "*** %s corrupted\n"},
        {"knk.nbb.emd", recrc, "*** %s corrupted\n"},
    };
    for (const auto& [name, bytes, format] : cases) {
        TableDir broken;
        broken.write(name, bytes);
        broken.write("kbk.nbw", Bytes(3, 0));
        ChildResult r = runInChild([&] { initEgtb(broken.path().c_str(), 1, false); });
        char expected[512];
        std::snprintf(expected, sizeof expected, format, broken.file(name).c_str());
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.output, expected) << name;
    }
}

} // namespace
