#include "tools/book/book_writer.h"

#include <algorithm>
#include <cstdio>

#include "board/makemove.h"
#include "book/ctg_lookup.h"
#include "book/move_codes.h"

namespace {

constexpr std::uint32_t COUNTER_MAX = (1u << 24) - 1;
constexpr int MAX_LEVEL = 30;

void put24(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    v = std::min(v, COUNTER_MAX);
    out[at] = static_cast<std::uint8_t>(v >> 16);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    out[at + 2] = static_cast<std::uint8_t>(v);
}

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::uint32_t hashOf(const std::vector<std::uint8_t>& entry) {
    return bookHash(entry.data(), entry[0] & 0x1F);
}

BookBoard bookBoardOf(const Board& board) {
    char fen[FEN_BUFFER_SIZE];
    writeFen(board, fen);
    BookBoard b;
    BookOutput quiet{stderr, ""};
    readFen(fen, b, quiet);
    return b;
}

struct Layout {
    std::vector<std::vector<std::uint8_t>> pages;
    std::vector<std::uint32_t> slots; // index slot -> page, 0xFFFFFFFF empty
    int deepest = 0;
};

std::size_t bytesOf(const std::vector<const std::vector<std::uint8_t>*>& group) {
    std::size_t n = 4;
    for (auto* e : group) n += e->size();
    return n;
}

// Gives the group its page in slot g + 2^level - 1, or splits it by the next
// hash bit into two groups of the level below.
void place(Layout& l, const std::vector<const std::vector<std::uint8_t>*>& group, int level,
           std::uint32_t g) {
    if (group.empty()) return;
    l.deepest = std::max(l.deepest, level);
    if (bytesOf(group) <= BOOK_PAGE_SIZE || level == MAX_LEVEL) {
        std::vector<std::uint8_t> page(BOOK_PAGE_SIZE, 0);
        std::size_t at = 4;
        int count = 0;
        for (auto* e : group) {
            if (at + e->size() > BOOK_PAGE_SIZE) break; // no entry crosses the page end
            std::copy(e->begin(), e->end(), page.begin() + static_cast<long>(at));
            at += e->size();
            ++count;
        }
        page[0] = static_cast<std::uint8_t>(count >> 8);
        page[1] = static_cast<std::uint8_t>(count);
        page[2] = static_cast<std::uint8_t>(at >> 8);
        page[3] = static_cast<std::uint8_t>(at);
        const std::size_t slot = g + ((std::size_t{1} << level) - 1);
        if (l.slots.size() <= slot) l.slots.resize(slot + 1, 0xFFFFFFFFu);
        l.slots[slot] = static_cast<std::uint32_t>(l.pages.size());
        l.pages.push_back(std::move(page));
        return;
    }
    std::vector<const std::vector<std::uint8_t>*> low, high;
    for (auto* e : group) (hashOf(*e) >> level & 1 ? high : low).push_back(e);
    place(l, low, level + 1, g);
    place(l, high, level + 1, g | (1u << level));
}

bool writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

std::string keyOf(const BookBoard& b) {
    return std::string(reinterpret_cast<const char*>(b.huffmanKey),
                       static_cast<std::size_t>(b.keyLength));
}

int codeOfMove(const BookBoard& bb, Move move) {
    const int promo = movePromo(move);
    if (promo != 0 && promo != QUEEN) return -1; // underpromotions have no code
    const int from = moveFrom(move), to = moveTo(move);
    const BookMove m = normaliseMove(bb, 7 - (from & 7), rankOf(from), 7 - (to & 7), rankOf(to));
    return findMoveCode(bb, m);
}

std::vector<std::uint8_t> entryBytes(const std::string& key, const WriterEntry& e) {
    const std::size_t moves = std::min<std::size_t>(e.moves.size() / 2, BOOK_MAX_MOVES);
    std::vector<std::uint8_t> out(key.begin(), key.end());
    out.push_back(static_cast<std::uint8_t>(1 + 2 * moves));
    out.insert(out.end(), e.moves.begin(), e.moves.begin() + static_cast<long>(2 * moves));
    const std::size_t s = out.size();
    out.resize(s + BOOK_STATS_SIZE, 0);
    put24(out, s, e.counters.total);
    put24(out, s + 3, e.counters.lost);
    put24(out, s + 6, e.counters.won);
    put24(out, s + 9, e.counters.drawn);
    out[s + 30] = static_cast<std::uint8_t>(e.flag);
    return out;
}

void BookWriter::addGame(const std::vector<Move>& moves, GameResult result, int maxPlies,
                         const char* fen) {
    Board board;
    setFromFen(board, fen);
    const int plies = std::min<int>(maxPlies, static_cast<int>(moves.size()));
    std::map<std::string, bool> seen; // a position counts once per game
    for (int ply = 0; ply <= plies; ++ply) {
        const BookBoard bb = bookBoardOf(board);
        const std::string key = keyOf(bb);
        WriterEntry& e = entries_[key];
        const bool first = !seen[key];
        seen[key] = true;
        if (first && !fixed_.count(key)) {
            ++e.games;
            ++e.counters.total;
            const int moverWon = board.toMove == WHITE ? result == GameResult::WHITE_WINS
                                                       : result == GameResult::BLACK_WINS;
            if (result == GameResult::DRAW)
                ++e.counters.drawn;
            else if (moverWon)
                ++e.counters.lost; // the side that moved in lost
            else
                ++e.counters.won;
        }
        if (ply == plies) break;
        const Move m = moves[static_cast<std::size_t>(ply)];
        const int code = codeOfMove(bb, m);
        if (code >= 0 && first && !fixed_.count(key)) ++e.moveGames[code];
        makeMove(board, m);
    }
}

void BookWriter::addPosition(const char* fen, const std::vector<Move>& moves, const BookCounters& c,
                             int flag) {
    Board board;
    setFromFen(board, fen);
    BookBoard bb;
    BookOutput quiet{stderr, ""};
    if (!readFen(fen, bb, quiet)) return;
    WriterEntry e;
    e.counters = c;
    e.flag = flag;
    for (Move m : moves) {
        const int code = codeOfMove(bb, m);
        if (code < 0) continue;
        e.moves.push_back(static_cast<std::uint8_t>(code));
        e.moves.push_back(0);
    }
    entries_[keyOf(bb)] = e;
    fixed_[keyOf(bb)] = true;
}

void BookWriter::addRawEntry(const std::vector<std::uint8_t>& bytes) {
    raw_.push_back(bytes);
}

void BookWriter::prune(int minGames) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (fixed_.count(it->first)) {
            ++it;
            continue;
        }
        WriterEntry& e = it->second;
        if (e.games < minGames) {
            it = entries_.erase(it);
            continue;
        }
        e.moves.clear();
        for (auto [code, games] : e.moveGames) {
            if (games < minGames) continue;
            e.moves.push_back(static_cast<std::uint8_t>(code));
            e.moves.push_back(0);
        }
        ++it;
    }
}

bool BookWriter::write(const std::string& ctgName) const {
    if (ctgName.size() < 4 || ctgName.compare(ctgName.size() - 4, 4, ".ctg") != 0) return false;
    std::vector<std::vector<std::uint8_t>> all;
    for (const auto& [key, e] : entries_) all.push_back(entryBytes(key, e));
    for (const auto& r : raw_) all.push_back(r);
    std::vector<const std::vector<std::uint8_t>*> group;
    std::size_t bytes = 0;
    for (const auto& e : all) {
        group.push_back(&e);
        bytes += e.size();
    }
    // Start at the level where an average group fills about half a page.
    int start = 0;
    while (start < MAX_LEVEL && (bytes >> start) > BOOK_PAGE_SIZE / 2) ++start;

    Layout l;
    l.deepest = start;
    std::vector<std::vector<const std::vector<std::uint8_t>*>> groups(std::size_t{1} << start);
    for (auto* e : group) groups[hashOf(*e) & ((1u << start) - 1)].push_back(e);
    for (std::uint32_t g = 0; g < groups.size(); ++g) place(l, groups[g], start, g);

    std::vector<std::uint8_t> ctg(BOOK_PAGE_SIZE, 0);
    for (const auto& p : l.pages) ctg.insert(ctg.end(), p.begin(), p.end());
    const std::size_t slotCount = (std::size_t{1} << (l.deepest + 1)) - 1;
    std::vector<std::uint8_t> cto(16 + 4 * slotCount, 0xFF);
    std::fill(cto.begin(), cto.begin() + 16, 0);
    for (std::size_t i = 0; i < l.slots.size(); ++i) put32(cto, 16 + 4 * i, l.slots[i]);
    std::vector<std::uint8_t> ctb(12, 0);
    put32(ctb, 4, (1u << start) - 1);
    put32(ctb, 8, static_cast<std::uint32_t>((std::uint64_t{1} << l.deepest) - 1));

    std::string base = ctgName.substr(0, ctgName.size() - 1);
    return writeFile(ctgName, ctg) && writeFile(base + "o", cto) && writeFile(base + "b", ctb);
}
