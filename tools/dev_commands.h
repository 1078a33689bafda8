// Sub-commands of tarvok-dev. Each takes the arguments from the sub-command's
// name on (argv[0] is the name) and returns the process exit status.
#pragma once

#include <string>
#include <vector>

// A root search run by the tool in its own process, with fresh private tables.
struct DevSearchRequest {
    std::string fen;
    std::vector<std::string> moves; // coordinate moves played from the FEN first
    int maxDepth = 0;
    int limitMs = 0;
    bool thinking = false; // the xboard thinking lines
};
struct DevSearchResult {
    std::string move; // coordinate form, "(none)" without a legal move
    int score = 0;    // of the last completed iteration, side to move's view
    int depth = 0;    // that iteration
    long long nodes = 0;
    int elapsedMs = 0;
};
inline constexpr int DEV_NO_TIME_LIMIT = 1 << 30;
// False when one of the moves is not legal where it is played.
bool runDevSearch(const DevSearchRequest& request, DevSearchResult& result);

// eval FEN: the position's evaluation term by term, then "eval S".
int devEval(int argc, char** argv);

// search FEN depth D | search FEN movetime MS: a root search with the xboard
// thinking lines, then "bestmove M score S depth D nodes N time_ms T".
int devSearch(int argc, char** argv);

// san FEN SAN...: each SAN move in coordinate form, one per line ("none" when
// it names no legal move).
int devSan(int argc, char** argv);

// probe FEN: registers the tablebases of the settings file, then "probe S"
// (the tablebase score from the side to move's view) or "probe none".
int devProbe(int argc, char** argv);
// signature [FILE]: the fixed-depth search of every row of the signature
// table (tests/data/signature.txt by default) and the sum of their nodes,
// printed in the table's own format.
int devSignature(int argc, char** argv);
// Book commands (dev_book.cpp): makebook OUT.ctg [--plies N] [--min-games K]
// FILE..., bookprobe BOOK FEN, bookkey FEN, bookscan BOOK FILE.
int devMakeBook(int argc, char** argv);
int devBookProbe(int argc, char** argv);
int devBookKey(int argc, char** argv);
int devBookScan(int argc, char** argv);
// selfplay GAMES SEED DEPTH OUT.pgn: the engine's games for the shipped book.
int devSelfPlay(int argc, char** argv);
