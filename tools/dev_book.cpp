// tarvok-dev book commands:
//   makebook OUT.ctg [--plies N] [--min-games K] FILE...   a book from PGN
//       games (*.pgn) and position lists (any other file)
//   selfplay GAMES SEED DEPTH OUT.pgn   the engine's own games for a book
//   bookprobe BOOK FEN    the book's move for a position (mode 1, fixed draws)
//   bookkey FEN           the normalised board, its key and hash
//   bookscan BOOK FILE    index lookup against a scan of every page
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "board/tables.h"
#include "book/ctg_lookup.h"
#include "book/tarvok_book.h"
#include "tools/book/pgn_reader.h"
#include "tools/dev_commands.h"

namespace {

bool readWholeFile(const char* name, std::string& text) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

bool endsWith(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

void initTables() {
    Board board;
    initBoardTables(nullptr, board);
}

} // namespace

int devMakeBook(int argc, char** argv) {
    const char* usage = "usage: tarvok-dev makebook OUT.ctg [--plies N] [--min-games K] FILE...\n";
    if (argc < 3 || !endsWith(argv[1], ".ctg")) {
        std::fputs(usage, stderr);
        return 2;
    }
    int plies = 16, minGames = 2;
    BookWriter writer;
    initTables();
    int games = 0, positions = 0;
    for (int i = 2; i < argc; ++i) {
        if ((!std::strcmp(argv[i], "--plies") || !std::strcmp(argv[i], "--min-games")) &&
            i + 1 < argc) {
            const int v = std::atoi(argv[i + 1]);
            if (v < 0 || v > 1000) {
                std::fputs(usage, stderr);
                return 2;
            }
            (argv[i][2] == 'p' ? plies : minGames) = v;
            ++i;
            continue;
        }
        std::string text;
        if (!readWholeFile(argv[i], text)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        if (endsWith(argv[i], ".pgn")) {
            for (const PgnGame& g : readPgn(text)) {
                if (!g.finished) continue;
                writer.addGame(g.moves, g.result, plies, g.fen.c_str());
                ++games;
            }
        } else {
            positions += addPositionList(writer, text);
        }
    }
    writer.prune(minGames);
    if (!writer.write(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("games %d positions %d entries %zu\n", games, positions, writer.size());
    return 0;
}

int devBookProbe(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tarvok-dev bookprobe BOOK FEN\n", stderr);
        return 2;
    }
    TarvokBook book(0);
    book.setBookPath(argv[1]);
    char text[BOOK_MOVE_TEXT_SIZE] = "";
    const int result = book.probeBook(argv[2], text);
    std::printf("result %d move %s\n", result, text[0] ? text : "(none)");
    return 0;
}

int devBookKey(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tarvok-dev bookkey FEN\n", stderr);
        return 2;
    }
    BookBoard b;
    if (!readFen(argv[1], b)) return 1;
    dumpBookBoard(b, stdout);
    dumpHuffmanKey(b, stdout);
    std::printf("hash 0x%08X\n", bookHash(b.huffmanKey, b.keyLength));
    return 0;
}

int devBookScan(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tarvok-dev bookscan BOOK FILE\n", stderr);
        return 2;
    }
    std::ifstream in(argv[2]);
    std::string line;
    BookOutput quiet{stderr, ""};
    for (int n = 0; n < 10000 && std::getline(in, line); ++n) {
        if (line.size() <= 11) continue;
        BookBoard b;
        if (!readFen(line.c_str() + 11, b, quiet)) continue;
        BookEntry e;
        const bool indexed = findEntry(argv[1], b, e) != 0;
        const long long page = scanAllPages(argv[1], b, e);
        if (indexed && page >= 0)
            std::fputs(".", stdout);
        else if (indexed)
            std::printf("\n=== alleen in SINGLE pagina's gevonden ===\n%s\n", line.c_str());
        else if (page >= 0)
            std::printf("\n=== alleen in ALLE pagina's gevonden op page:%lld ===\n%s\n", page - 1,
                        line.c_str());
        else
            std::printf("\n=== not found ===%s\n", line.c_str());
    }
    std::puts("\n===== end of test =====");
    return 0;
}
