// tarvok-tbgen: writes tablebase files by retrograde analysis with the
// engine's own move generator and index functions, and checks written tables.
//   tarvok-tbgen [-c] DIR NAME...     NAME: a table name, or 3, 4, 5 for all of that size
//   tarvok-tbgen --verify DIR NAME...
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb/index.h"
#include "egtb/tables.h"
#include "tools/tbgen/generate.h"
#include "tools/tbgen/positions.h"

namespace {

constexpr int CACHE_MB = 32;

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool tableWritten(const std::string& dir, int id) {
    int slots = (tableRegistry[id].flags & TABLE_SYMMETRIC) ? 1 : 2;
    for (int s = 0; s < slots; ++s)
        if (!fileExists(sideFile(dir, id, s, false)) && !fileExists(sideFile(dir, id, s, true)))
            return false;
    return true;
}

void registerDirectory(const std::string& dir) {
    initEgtb(dir.c_str(), CACHE_MB, true);
}

std::string describe(const TableLayout& t, Placement p) {
    return placementText(t, p);
}

void generateWithNeeds(const std::string& dir, int id, bool compressed, std::vector<bool>& done) {
    if (done[id]) return;
    done[id] = true;
    for (int need : tablesReached(id))
        if (!tableWritten(dir, need)) generateWithNeeds(dir, need, compressed, done);
    registerDirectory(dir);
    generateTable(dir, id, compressed);
}

// A kppkp position with Black to move at one of the indices whose value the
// prober fixes.
bool isFixed(const Board& b) {
    TableSpot spot = locate(b);
    return spot.id == KPPKP_ID && spot.slot == 1 && isKppkpFixedIndex(spot.index);
}

// Every legal position of the table through the prober against its
// children through the prober. Returns the number of faults.
long verifyTable(const std::string& dir, int id) {
    registerDirectory(dir);
    TableLayout t = tableLayout(id);
    long faults = 0, checked = 0;
    Move moves[256];
    Board b, c;
    forEachPosition(t, [&](Placement p) {
        boardOf(t, p, b);
        ++checked;
        int score;
        const bool fixed = isFixed(b);
        if (!probeEgtb(b, score)) {
            if (faults++ < 5) std::printf("no information: %s\n", describe(t, p).c_str());
            return;
        }
        int count = generateLegal(b, moves);
        int expected;
        if (count == 0)
            expected = inCheck(b) ? -16000 : -b.toMove;
        else {
            bool anyLoss = false, anyDraw = false;
            int best = -32000, slowest = -32000;
            for (int m = 0; m < count; ++m) {
                c = b;
                makeMove(c, moves[m]);
                int cs;
                if (std::popcount(c.occupied) == 2)
                    cs = 0;
                else if (!probeEgtb(c, cs)) {
                    if (faults++ < 5)
                        std::printf("no information after a move: %s\n", describe(t, p).c_str());
                    return;
                }
                if (cs < -1) {
                    anyLoss = true;
                    best = std::max(best, -cs - 2);
                } else if (cs <= 1)
                    anyDraw = true;
                else
                    slowest = std::max(slowest, -cs);
            }
            expected = anyLoss ? best : anyDraw ? -b.toMove : slowest;
        }
        if (fixed) {
            // The prober's own value, not the file's: reported, not a fault.
            std::printf("%s fixed %s prober %d moves say %d\n", tableRegistry[id].name,
                        describe(t, p).c_str(), score, expected);
            return;
        }
        if (score != expected && faults++ < 5)
            std::printf("%s scores %d, its moves say %d\n", describe(t, p).c_str(), score,
                        expected);
    });
    std::printf("%s checked %ld faults %ld\n", tableRegistry[id].name, checked, faults);
    return faults;
}

int tableByName(const char* name) {
    for (int id = 1; id < TABLE_COUNT; ++id)
        if (std::strcmp(tableRegistry[id].name, name) == 0) return id;
    return 0;
}

int usage() {
    std::fputs("usage: tarvok-tbgen [-c] DIR NAME... | tarvok-tbgen --verify DIR NAME...\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int a = 1;
    bool compressed = false, verify = false;
    if (a < argc && std::strcmp(argv[a], "-c") == 0)
        compressed = true, ++a;
    else if (a < argc && std::strcmp(argv[a], "--verify") == 0)
        verify = true, ++a;
    if (argc - a < 2) return usage();
    const std::string dir = argv[a++];
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) tbgenFail("no directory " + dir);
    Board board;
    initBoardTables(nullptr, board);
    initIndexFunctions();
    std::vector<int> ids;
    for (; a < argc; ++a) {
        const char* name = argv[a];
        if (std::strcmp(name, "3") == 0 || std::strcmp(name, "4") == 0 ||
            std::strcmp(name, "5") == 0) {
            int lo = name[0] == '3' ? 1 : name[0] == '4' ? 6 : 36;
            int hi = name[0] == '3' ? 5 : name[0] == '4' ? 35 : 145;
            for (int id = lo; id <= hi; ++id) ids.push_back(id);
        } else if (int id = tableByName(name)) {
            if (id > 145 && !verify)
                tbgenFail(std::string("6-piece tables are not generated: ") + name);
            ids.push_back(id);
        } else
            tbgenFail(std::string("unknown table ") + name);
    }
    std::vector<bool> done(TABLE_COUNT, false);
    long faults = 0;
    for (int id : ids) {
        if (verify)
            faults += verifyTable(dir, id);
        else
            generateWithNeeds(dir, id, compressed, done);
    }
    return faults ? 1 : 0;
}
