// Retrograde analysis within one table. An image of every legal position
// is enumerated and a 32-bit copy of its squares kept at its index; then
// each index counts the moves that stay in the table (weighted by symmetry,
// below) and folds the moves that capture or promote into what the prober
// says of their positions. Distances grow one ply per level: the losses of
// the last level make their parents (found by taking moves back) wins, and
// each win takes its weight off its parents' counters; a parent whose
// counter reaches zero has only winning replies and is lost.
//
// Weights: a position stands for every board of its symmetry class (the
// boards with its index). Over all pairs of boards (X in class p, Y in
// class c, X moves to Y) the count is a * |class p| = b * |class c|, where
// a is the moves of one board of p into c and b the moves taken back from
// one board of c into p. So p's counter starts at its moves in the table
// times |class p|, and each move taken back from c's board subtracts
// |class c|: it reaches zero exactly when every move is resolved.
#include "tools/tbgen/generate.h"

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb/tables.h"
#include "tools/emd_writer.h"
#include "tools/tbgen/positions.h"

namespace {

constexpr std::uint8_t NO_INFORMATION = 127;
constexpr std::uint32_t NO_POSITION = 0xFFFFFFFFu;
// res: plies (odd: the side to move wins, even: it loses) or one of these.
constexpr std::uint16_t UNREACHED = 0xFFFF, UNKNOWN = 0xFFFE, DRAWN = 0xFFFD;
constexpr std::uint16_t BLOCKS_LOSS = 0x8000; // in cnt: a capture or promotion holds
constexpr std::uint16_t COUNT_MASK = 0x7FFF;
constexpr std::uint8_t NONE8 = 0xFF;

// The working state of one index, in one place: a move taken back into a
// table of 10^8 indices costs one cache miss, not three.
struct Cell {
    std::uint16_t res;    // distance or state
    std::uint16_t cnt;    // weighted moves in the table not yet won
    std::uint8_t extBest; // plies of the fastest win out of the table
    std::uint8_t extMax;  // the opponent's slowest win out of the table
};

struct SideData {
    std::uint64_t length = 0;
    std::vector<std::uint32_t> pos; // squares, 6 bits a piece; bits 30-31: en passant
    std::vector<Cell> cell;
};

// A cell named by its slot (top bit) and index: tables stay under 2^31.
using CellRef = std::uint32_t;
constexpr CellRef SLOT_BIT = 0x80000000u;

// A parent found by taking a move back, updated once all of a child's
// parents are found (their cells fetched meanwhile).
struct ParentHit {
    CellRef ref;
    int weight;
};
constexpr int MAX_PARENT_HITS = 1024;
// Levels a capture or promotion can settle: the fastest win out of the
// table is at most 255 plies, the slowest loss 256.
constexpr int WAIT_LEVELS = 257;

// En passant is kept as the piece number (2-4) of the pawn that passed,
// less one, in the two high bits; the side to move comes from the slot.
std::uint32_t pack(const TableLayout& t, Placement p) {
    std::uint32_t packed = static_cast<std::uint32_t>(p & 0x3FFFFFFF);
    const int ep = static_cast<int>(p >> 48 & 127);
    if (ep) {
        const int stm = static_cast<int>(p >> 55 & 1);
        const int victim = ep - (stm == 0 ? 8 : -8);
        for (std::size_t i = 2; i < t.pieces.size(); ++i)
            if (static_cast<int>(p >> (6 * i) & 63) == victim && t.pieces[i].kind == PAWN)
                packed |= static_cast<std::uint32_t>(i - 1) << 30;
    }
    return packed;
}

Placement unpack(std::uint32_t packed, int stm) {
    Placement p = Placement(packed & 0x3FFFFFFF) | Placement(stm) << 55;
    const int code = static_cast<int>(packed >> 30);
    if (code) {
        const int victim = static_cast<int>(packed >> (6 * (code + 1)) & 63);
        p |= Placement(victim + (stm == 0 ? 8 : -8)) << 48;
    }
    return p;
}

// A child read from another table: its plies from the child's side to move
// (childWins: that side wins), or a draw.
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

class Generator {
  public:
    Generator(int id) : id_(id), t_(tableLayout(id)), slots_(t_.symmetric ? 1 : 2) {}

    void collect();
    void countMoves();
    void retrograde();
    void write(const std::string& dir, bool compressed, long ms);
    void printFixed() const;

  private:
    int stmOf(int slot) const { return slot; } // a symmetric table keeps White to move
    const char* name() const { return tableRegistry[id_].name; }
    void settle(int level);
    void settleParents(Placement child, const ParentHit* hits, int count, int level);
    Cell& cellOf(CellRef r) { return side_[r >> 31].cell[r & ~SLOT_BIT]; }
    static CellRef refOf(int slot, std::uint64_t index) {
        return static_cast<CellRef>(index) | (slot ? SLOT_BIT : 0);
    }

    int id_;
    TableLayout t_;
    int slots_;
    SideData side_[2];
    int maxExternal_ = 0;
    // The positions of the last level (their parents are settled next), the
    // ones found at this level, and those waiting for the level at which a
    // capture or promotion settles them: no level scans the whole table.
    std::vector<CellRef> frontier_, next_;
    std::vector<std::vector<CellRef>> waiting_ = std::vector<std::vector<CellRef>>(WAIT_LEVELS);
};

// One image of every legal position at its index; two positions that share
// an index must be images of each other under the table's symmetries.
void Generator::collect() {
    for (int s = 0; s < 2; ++s) {
        side_[s].length = s < slots_ ? tableRegistry[id_].knownLength[s] : 0;
        if (side_[s].length >= SLOT_BIT) tbgenFail(std::string("table too large: ") + name());
        side_[s].pos.assign(side_[s].length, NO_POSITION);
    }
    // Placements are indexed in batches and their slots fetched before any
    // is written: consecutive placements land far apart in the table.
    constexpr int BATCH = 64;
    Placement batch[BATCH];
    TableSpot spots[BATCH];
    int n = 0;
    auto flush = [&] {
        for (int k = 0; k < n; ++k) {
            std::uint32_t& w = side_[spots[k].slot].pos[spots[k].index];
            if (w == NO_POSITION) {
                w = pack(t_, batch[k]);
                continue;
            }
            Placement first = unpack(w, stmOf(spots[k].slot));
            if (canonicalPlacement(t_, first) != canonicalPlacement(t_, batch[k]))
                tbgenFail(std::string("two positions share an index in ") + name() + ": " +
                          placementText(t_, first) + " and " + placementText(t_, batch[k]));
        }
        n = 0;
    };
    Board b;
    forEachPosition(
        t_,
        [&](Placement p) {
            boardOf(t_, p, b);
            TableSpot spot = locateIn(t_, b);
            if (spot.index >= side_[spot.slot].length)
                tbgenFail(std::string("position without an index in ") + name() + ": " +
                          placementText(t_, p));
            __builtin_prefetch(&side_[spot.slot].pos[spot.index], 1);
            batch[n] = p;
            spots[n++] = spot;
            if (n == BATCH) flush();
        },
        true);
    flush();
}

void Generator::countMoves() {
    Move moves[256];
    Board b, c;
    for (int s = 0; s < slots_; ++s) {
        SideData& d = side_[s];
        d.cell.assign(d.length, Cell{UNREACHED, 0, NONE8, 0});
        for (std::uint64_t i = 0; i < d.length; ++i) {
            if (d.pos[i] == NO_POSITION) continue;
            Cell& cell = d.cell[i];
            const Placement p = unpack(d.pos[i], stmOf(s));
            boardOf(t_, p, b);
            int inside;
            const int count = splitLegalMoves(b, moves, inside);
            if (count + inside == 0) {
                cell.res = inCheck(b) ? 0 : DRAWN;
                if (cell.res == 0) frontier_.push_back(refOf(s, i));
                continue;
            }
            cell.res = UNKNOWN;
            bool blocks = false;
            for (int m = 0; m < count; ++m) {
                c = b;
                makeMove(c, moves[m]);
                Outcome o;
                if (!probeChild(c, o))
                    tbgenFail(std::string("no information for a position after a capture or "
                                          "promotion in ") +
                              name() + ": " + placementText(t_, p));
                if (o.draw)
                    blocks = true;
                else if (!o.childWins) {
                    blocks = true;
                    if (o.plies + 1 < cell.extBest) cell.extBest = std::uint8_t(o.plies + 1);
                } else if (o.plies > cell.extMax)
                    cell.extMax = std::uint8_t(o.plies);
                if (o.plies > maxExternal_) maxExternal_ = o.plies;
            }
            int images[8];
            const int weighted = inside * classImages(t_, p, images);
            if (weighted > COUNT_MASK) tbgenFail(std::string("too many moves in ") + name());
            cell.cnt = static_cast<std::uint16_t>(weighted | (blocks ? BLOCKS_LOSS : 0));
            if (cell.extBest != NONE8) waiting_[cell.extBest].push_back(refOf(s, i));
            if (cell.cnt == 0) waiting_[cell.extMax + 1].push_back(refOf(s, i));
        }
    }
}

// Applies a child's parents in the order they were found: at a win level
// the parent of a lost child is won; at a loss level a won child's weight
// comes off the parent's counter, and the parent is lost when nothing is
// left and no capture or promotion wins more slowly.
void Generator::settleParents(Placement child, const ParentHit* hits, int count, int level) {
    const bool wins = level & 1;
    for (int k = 0; k < count; ++k) {
        const CellRef ref = hits[k].ref;
        Cell& c = cellOf(ref);
        if (c.res == UNREACHED)
            tbgenFail("a move taken back reaches no position from " + placementText(t_, child));
        if (c.res != UNKNOWN) continue;
        if (wins) {
            c.res = static_cast<std::uint16_t>(level);
            next_.push_back(ref);
            continue;
        }
        if ((c.cnt & COUNT_MASK) < hits[k].weight)
            tbgenFail(std::string("moves taken back outnumber the moves in ") + name() + " into " +
                      placementText(t_, child));
        c.cnt = static_cast<std::uint16_t>(c.cnt - hits[k].weight);
        if (c.cnt != 0) continue;
        if (c.extMax + 1 <= level) {
            c.res = static_cast<std::uint16_t>(level);
            next_.push_back(ref);
        } else
            waiting_[c.extMax + 1].push_back(ref);
    }
}

// Finds the positions of distance level: odd levels are wins (a lost child
// of level - 1, or a capture or promotion that wins that fast), even levels
// losses (the last winning reply of level - 1 taken off, or every move out
// of the table with the opponent's slowest win at level - 1).
void Generator::settle(int level) {
    const bool wins = level & 1;
    next_.clear();
    if (level < WAIT_LEVELS) {
        for (CellRef r : waiting_[level]) {
            Cell& cell = cellOf(r);
            if (cell.res == UNKNOWN &&
                (wins ? cell.extBest == level : cell.cnt == 0 && cell.extMax + 1 == level)) {
                cell.res = static_cast<std::uint16_t>(level);
                next_.push_back(r);
            }
        }
        std::vector<CellRef>().swap(waiting_[level]);
    }
    Board b;
    ParentHit hits[MAX_PARENT_HITS];
    for (CellRef r : frontier_) {
        const int s = static_cast<int>(r >> 31);
        const Placement p = unpack(side_[s].pos[r & ~SLOT_BIT], stmOf(s));
        boardOf(t_, p, b);
        int images[8];
        const int count = classImages(t_, p, images);
        int nHits = 0;
        auto found = [&](const Board& q, int weight) {
            TableSpot spot = locateIn(t_, q);
            if (spot.index >= side_[spot.slot].length)
                tbgenFail("a move taken back leaves the table from " + placementText(t_, p));
            if (nHits == MAX_PARENT_HITS)
                tbgenFail("too many moves taken back from " + placementText(t_, p));
            __builtin_prefetch(&side_[spot.slot].cell[spot.index], 1);
            hits[nHits++] = {refOf(spot.slot, spot.index), weight};
        };
        forEachParent(b, [&](const Board& parent) {
            if (!splitClass(t_, parent)) {
                found(parent, count);
                return;
            }
            // A parent whose class is half its images: each board of the
            // child's class takes back its own move (to either half).
            Board image;
            for (int k = 0; k < count; ++k) {
                imageBoard(parent, images[k], image);
                found(image, 1);
            }
        });
        settleParents(p, hits, nHits, level);
    }
    frontier_.swap(next_);
}

void Generator::retrograde() {
    int quiet = 0;
    for (int level = 1; quiet < 2 || level <= maxExternal_ + 2; ++level) {
        settle(level);
        quiet = frontier_.empty() ? quiet + 1 : 0;
    }
}

void Generator::write(const std::string& dir, bool compressed, long ms) {
    for (int s = 0; s < slots_; ++s) {
        const SideData& d = side_[s];
        std::vector<std::uint8_t> bytes(d.length, NO_INFORMATION);
        std::uint64_t legal = 0, win = 0, draw = 0, loss = 0;
        int maxWin = 0, maxLoss = 0;
        for (std::uint64_t i = 0; i < d.length; ++i) {
            const std::uint16_t r = d.cell[i].res;
            if (r == UNREACHED) continue;
            ++legal;
            if (r == UNKNOWN || r == DRAWN) {
                bytes[i] = 0;
                ++draw;
            } else if (r & 1) {
                int m = (r + 1) / 2;
                if (m > 127) tbgenFail(std::string("a win too long for a byte in ") + name());
                bytes[i] = static_cast<std::uint8_t>(m == 127 ? -128 : 127 - m);
                ++win;
                if (m > maxWin) maxWin = m;
            } else {
                int m = r / 2;
                ++loss;
                if (m > maxLoss) maxLoss = m;
                if (m > 126) {
                    // kppkp's slowest mates leave Black to move mated in 127,
                    // one more than a byte holds: the prober answers those
                    // indices with that value itself, the byte says nothing.
                    if (m == 127 && id_ == KPPKP_ID && s == 1 && isKppkpFixedIndex(i)) continue;
                    tbgenFail(std::string("a loss too long for a byte in ") + name());
                }
                bytes[i] = static_cast<std::uint8_t>(m == 126 ? -127 : m - 126);
            }
        }
        std::vector<std::uint8_t> out =
            compressed ? compressTable(bytes.data(), bytes.size()) : bytes;
        std::string path = sideFile(dir, id_, s, compressed);
        std::string temp = path + ".tmp";
        FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0)
            tbgenFail("cannot write " + temp);
        if (std::rename(temp.c_str(), path.c_str()) != 0) tbgenFail("cannot rename " + temp);
        std::printf(
            "%s legal %llu win %llu draw %llu loss %llu max_win %d max_loss %d time_ms %ld\n",
            path.c_str(), (unsigned long long)legal, (unsigned long long)win,
            (unsigned long long)draw, (unsigned long long)loss, maxWin, maxLoss, ms);
        std::fflush(stdout);
    }
}

// The stored value of a distance: 32767 - m for a win in m moves,
// -32766 + m for a loss in m, 0 for a draw.
std::int32_t storedValue(std::uint16_t r) {
    if (r == UNKNOWN || r == DRAWN) return 0;
    return (r & 1) ? 32767 - (r + 1) / 2 : -32766 + r / 2;
}

// kppkp with Black to move: the prober answers its fixed indices with its
// own value, so the values found here are printed beside it.
void Generator::printFixed() const {
    if (id_ != KPPKP_ID) return;
    const SideData& d = side_[1];
    for (std::uint32_t i : KPPKP_FIXED) {
        if (i >= d.length || d.cell[i].res == UNREACHED) {
            std::printf("%s fixed 0x%08X no position prober %d\n", name(), i, KPPKP_FIXED_VALUE);
            continue;
        }
        std::printf("%s fixed 0x%08X %s value %d prober %d\n", name(), i,
                    placementText(t_, unpack(d.pos[i], 1)).c_str(), storedValue(d.cell[i].res),
                    KPPKP_FIXED_VALUE);
    }
    std::fflush(stdout);
}

} // namespace

void tbgenFail(const std::string& message) {
    std::fprintf(stderr, "tarvok-tbgen: %s\n", message.c_str());
    std::exit(1);
}

std::string sideFile(const std::string& dir, int id, int slot, bool compressed) {
    std::string f = dir + "/" + tableRegistry[id].name + (slot == 0 ? ".nbw" : ".nbb");
    return compressed ? f + ".emd" : f;
}

void generateTable(const std::string& dir, int id, bool compressed) {
    const auto start = std::chrono::steady_clock::now();
    Generator g(id);
    g.collect();
    g.countMoves();
    g.retrograde();
    const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
    g.write(dir, compressed, ms);
    g.printFixed();
}
