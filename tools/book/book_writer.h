// Writes CTG books: positions with their moves and game counts, laid out in
// 4096-byte pages behind a hash index, the way the book reader looks them up.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book_board.h"

// Game results from White's view.
enum class GameResult { WHITE_WINS, BLACK_WINS, DRAW };

struct BookCounters {
    std::uint32_t total = 0, lost = 0, won = 0, drawn = 0;
};

// One position of the book as it is stored.
struct WriterEntry {
    std::vector<std::uint8_t> moves; // (code, annotation) pairs
    BookCounters counters;
    int flag = 0;
    int games = 0;                // games that met the position (for the threshold)
    std::map<int, int> moveGames; // code -> games that played it here
};

class BookWriter {
  public:
    // A game from the start position (or fen): the positions before each of
    // its first maxPlies moves, and the one after them, are counted. A move
    // counts as won by the side that played it into the next position.
    void addGame(const std::vector<Move>& moves, GameResult result, int maxPlies,
                 const char* fen = START_FEN);
    // A position with its moves (engine moves; those no code holds are
    // skipped), its counters and flag byte. Replaces an earlier one.
    void addPosition(const char* fen, const std::vector<Move>& moves, const BookCounters& c,
                     int flag);
    // An entry as raw bytes: key, the whole move block and the 33 statistics
    // bytes (tests write malformed entries this way).
    void addRawEntry(const std::vector<std::uint8_t>& bytes);

    // Keeps positions met in minGames games or more, and at each the moves
    // played there in that many games (addPosition's entries stay whole).
    void prune(int minGames);
    std::size_t size() const { return entries_.size() + raw_.size(); }

    // Writes NAME.ctg, and the .cto and .ctb beside it (the name must end in
    // ".ctg"). Returns false when a file cannot be written.
    bool write(const std::string& ctgName) const;

  private:
    std::map<std::string, WriterEntry> entries_; // by key bytes
    std::map<std::string, bool> fixed_;          // entries given whole
    std::vector<std::vector<std::uint8_t>> raw_;
};

// The key of a position as a byte string (header byte first).
std::string keyOf(const BookBoard& board);
// The code of an engine move on this position, or -1 when it has none.
int codeOfMove(const BookBoard& bookBoard, Move move);
// Serialises one entry: key, move block (at most 50 moves) and statistics,
// counters saturating at 2^24 - 1.
std::vector<std::uint8_t> entryBytes(const std::string& key, const WriterEntry& entry);
