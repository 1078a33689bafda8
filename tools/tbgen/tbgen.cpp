// tarvok-tbgen: writes tablebase files by retrograde analysis with the
// engine's own move generator and index functions, and checks written tables.
//   tarvok-tbgen [-c] DIR NAME...     NAME: a table name, or 3, 4, 5 for all of that size
//   tarvok-tbgen --verify DIR NAME...
#include <algorithm>
#include <bit>
#include <chrono>
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
#include "egtb/egtb.h"
#include "egtb/index.h"
#include "egtb/tables.h"
#include "tools/emd_writer.h"
#include "tools/tbgen/positions.h"

namespace {

constexpr int CACHE_MB = 32;
constexpr std::uint8_t NO_INFORMATION = 127;
constexpr std::uint16_t NONE = 0xFFFF;

enum State : std::uint8_t { UNREACHED, UNKNOWN, WIN, LOSS, DRAW };

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "tarvok-tbgen: %s\n", message.c_str());
    std::exit(1);
}

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string sideFile(const std::string& dir, int id, int slot, bool compressed) {
    std::string f = dir + "/" + tableRegistry[id].name + (slot == 0 ? ".nbw" : ".nbb");
    return compressed ? f + ".emd" : f;
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

// A child read from another table: its distance in plies from the child's
// side to move (positive: that side wins), 0 with draw set.
struct Outcome {
    bool draw;
    bool childWins;
    int plies;
};

bool probeChild(const Board& child, Outcome& out) {
    if (std::popcount(child.occupied) == 2) {
        out = {true, false, 0};
        return true;
    }
    int score;
    if (!probeEgtb(child, score)) return false;
    if (score >= -1 && score <= 1)
        out = {true, false, 0};
    else if (score > 0)
        out = {false, true, 16000 - score - 1}; // win in m moves: 2m - 1 plies
    else
        out = {false, false, score + 16000}; // loss in m moves: 2m plies
    return true;
}

struct Node {
    std::uint32_t firstChild; // into the children list
    std::uint16_t extBestWin; // plies of the fastest win a capture or promotion gives, or NONE
    std::uint16_t extMaxWin;  // slowest win of the opponent among those children
    bool extBlocksLoss;       // such a child draws or loses for the opponent
};

struct Generation {
    TableLayout layout;
    std::uint64_t length[2] = {0, 0};
    std::vector<State> state[2];
    std::vector<std::uint16_t> plies[2];
    std::vector<Placement> where[2]; // a position for every index reached
};

std::string describe(const TableLayout& t, Placement p) {
    Board b;
    boardOf(t, p, b);
    char fen[FEN_BUFFER_SIZE];
    writeFen(b, fen);
    return fen;
}

// Fills where[]: one placement per index; two placements that share an index
// must be images of each other under the table's symmetries.
void collectPositions(Generation& g) {
    const int id = g.layout.id;
    for (int s = 0; s < 2; ++s) {
        g.length[s] = tableRegistry[id].knownLength[s];
        g.where[s].assign(g.length[s], ~Placement{0});
    }
    Board b;
    forEachPosition(g.layout, [&](Placement p) {
        boardOf(g.layout, p, b);
        TableSpot spot = locate(b);
        if (spot.id != id || spot.index >= g.length[spot.slot])
            fail(std::string("position without an index in ") + tableRegistry[id].name + ": " +
                 describe(g.layout, p));
        Placement& w = g.where[spot.slot][spot.index];
        if (w == ~Placement{0})
            w = p;
        else if (canonicalPlacement(g.layout, w) != canonicalPlacement(g.layout, p))
            fail(std::string("two positions share an index in ") + tableRegistry[id].name + ": " +
                 describe(g.layout, w) + " and " + describe(g.layout, p));
    });
}

int generateTable(const std::string& dir, int id, bool compressed) {
    const auto start = std::chrono::steady_clock::now();
    Generation g;
    g.layout = tableLayout(id);
    collectPositions(g);
    const int slots = g.layout.symmetric ? 1 : 2;

    // Children of every position; other tables' children folded into Node.
    std::vector<Node> nodes[2];
    std::vector<std::uint32_t> children; // slot << 31 | index
    int maxExternal = 0;
    Move moves[256];
    Board b, c;
    for (int s = 0; s < slots; ++s) {
        nodes[s].resize(g.length[s]);
        g.state[s].assign(g.length[s], UNREACHED);
        g.plies[s].assign(g.length[s], 0);
        for (std::uint64_t i = 0; i < g.length[s]; ++i) {
            Node& n = nodes[s][i];
            n = {static_cast<std::uint32_t>(children.size()), NONE, 0, false};
            if (g.where[s][i] == ~Placement{0}) continue;
            boardOf(g.layout, g.where[s][i], b);
            int count = generateLegal(b, moves);
            if (count == 0) {
                g.state[s][i] = inCheck(b) ? LOSS : DRAW;
                continue;
            }
            g.state[s][i] = UNKNOWN;
            for (int m = 0; m < count; ++m) {
                c = b;
                makeMove(c, moves[m]);
                TableSpot spot = locate(c);
                if (spot.id == id) {
                    if (spot.index >= g.length[spot.slot])
                        fail("a move leads outside the table from " +
                             describe(g.layout, g.where[s][i]));
                    children.push_back(std::uint32_t(spot.slot) << 31 | spot.index);
                    continue;
                }
                Outcome o;
                if (!probeChild(c, o))
                    fail(std::string("no information for a position after a capture or "
                                     "promotion in ") +
                         tableRegistry[id].name + ": " + describe(g.layout, g.where[s][i]));
                if (o.draw)
                    n.extBlocksLoss = true;
                else if (!o.childWins) {
                    n.extBlocksLoss = true;
                    if (o.plies + 1 < n.extBestWin)
                        n.extBestWin = static_cast<std::uint16_t>(o.plies + 1);
                } else if (o.plies > n.extMaxWin)
                    n.extMaxWin = static_cast<std::uint16_t>(o.plies);
                if (o.plies > maxExternal) maxExternal = o.plies;
            }
        }
    }
    auto childEnd = [&](int s, std::uint64_t i) -> std::uint32_t {
        return i + 1 < g.length[s] ? nodes[s][i + 1].firstChild
                                   : (s + 1 < slots && g.length[s + 1]
                                          ? nodes[s + 1][0].firstChild
                                          : static_cast<std::uint32_t>(children.size()));
    };

    // Levels of distance: odd plies are wins found through a lost child,
    // even plies losses whose children all win.
    std::vector<std::uint64_t> open[2];
    for (int s = 0; s < slots; ++s)
        for (std::uint64_t i = 0; i < g.length[s]; ++i)
            if (g.state[s][i] == UNKNOWN) open[s].push_back(i);
    int quiet = 0;
    for (int level = 1; quiet < 2 || level <= maxExternal + 2; ++level) {
        std::vector<std::pair<int, std::uint64_t>> found;
        for (int s = 0; s < slots; ++s) {
            std::vector<std::uint64_t> still;
            for (std::uint64_t i : open[s]) {
                const Node& n = nodes[s][i];
                bool resolved = false;
                const std::uint32_t end = childEnd(s, i);
                if (level & 1) {
                    resolved = n.extBestWin <= level;
                    for (std::uint32_t k = n.firstChild; k < end && !resolved; ++k)
                        resolved = g.state[children[k] >> 31][children[k] & 0x7FFFFFFF] == LOSS;
                } else if (!n.extBlocksLoss) {
                    int slowest = n.extMaxWin;
                    resolved = true;
                    for (std::uint32_t k = n.firstChild; k < end && resolved; ++k) {
                        int cs = children[k] >> 31;
                        std::uint32_t ci = children[k] & 0x7FFFFFFF;
                        resolved = g.state[cs][ci] == WIN;
                        if (resolved && g.plies[cs][ci] > slowest) slowest = g.plies[cs][ci];
                    }
                    resolved = resolved && slowest + 1 == level;
                }
                if (resolved)
                    found.push_back({s, i});
                else
                    still.push_back(i);
            }
            open[s].swap(still);
        }
        for (auto [s, i] : found) {
            g.state[s][i] = (level & 1) ? WIN : LOSS;
            g.plies[s][i] = static_cast<std::uint16_t>(level);
        }
        quiet = found.empty() ? quiet + 1 : 0;
        if (open[0].empty() && open[1].empty()) break;
    }

    // Bytes and files.
    const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
    for (int s = 0; s < slots; ++s) {
        std::vector<std::uint8_t> bytes(g.length[s], NO_INFORMATION);
        std::uint64_t legal = 0, win = 0, draw = 0, loss = 0;
        int maxWin = 0, maxLoss = 0;
        for (std::uint64_t i = 0; i < g.length[s]; ++i) {
            State st = g.state[s][i];
            if (st == UNREACHED) continue;
            ++legal;
            if (st == WIN) {
                int m = (g.plies[s][i] + 1) / 2;
                if (m > 127)
                    fail(std::string("a win too long for a byte in ") + tableRegistry[id].name);
                bytes[i] = static_cast<std::uint8_t>(m == 127 ? -128 : 127 - m);
                ++win;
                if (m > maxWin) maxWin = m;
            } else if (st == LOSS) {
                int m = g.plies[s][i] / 2;
                if (m > 126)
                    fail(std::string("a loss too long for a byte in ") + tableRegistry[id].name);
                bytes[i] = static_cast<std::uint8_t>(m == 126 ? -127 : m - 126);
                ++loss;
                if (m > maxLoss) maxLoss = m;
            } else {
                bytes[i] = 0;
                ++draw;
            }
        }
        std::vector<std::uint8_t> out =
            compressed ? compressTable(bytes.data(), bytes.size()) : bytes;
        std::string path = sideFile(dir, id, s, compressed);
        std::string temp = path + ".tmp";
        FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0)
            fail("cannot write " + temp);
        if (std::rename(temp.c_str(), path.c_str()) != 0) fail("cannot rename " + temp);
        std::printf(
            "%s legal %llu win %llu draw %llu loss %llu max_win %d max_loss %d time_ms %ld\n",
            path.c_str(), (unsigned long long)legal, (unsigned long long)win,
            (unsigned long long)draw, (unsigned long long)loss, maxWin, maxLoss, ms);
        std::fflush(stdout);
    }
    return 0;
}

void generateWithNeeds(const std::string& dir, int id, bool compressed, std::vector<bool>& done) {
    if (done[id]) return;
    done[id] = true;
    for (int need : tablesReached(id))
        if (!tableWritten(dir, need)) generateWithNeeds(dir, need, compressed, done);
    registerDirectory(dir);
    generateTable(dir, id, compressed);
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
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) fail("no directory " + dir);
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
        } else if (int id = tableByName(name))
            ids.push_back(id);
        else
            fail(std::string("unknown table ") + name);
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
