// tarvok-dev signature [FILE]: the engine's search signature. Each row of the
// table names a position and a depth; the tool searches it as
// `tarvok-dev search FEN depth D` does and prints the row again with the
// move, score and node count found, then "signature N", the sum of the node
// counts. A change of search behaviour changes the output, so the table in
// tests/data is rewritten on purpose (tarvok-dev signature > the table).
//
// A row: depth D [bestmove M score S nodes N] fen FEN [moves M1 M2 ...]
// Lines starting with '#' and empty lines are copied; "signature" lines are
// recomputed.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/dev_commands.h"

namespace {

struct Row {
    int depth = 0;
    std::string fen;
    std::vector<std::string> moves;
};

bool parseRow(const std::string& line, Row& row) {
    std::istringstream in(line);
    std::string word;
    enum { OTHER, FEN, MOVES } part = OTHER;
    while (in >> word) {
        if (word == "depth" && part == OTHER) {
            if (!(in >> row.depth)) return false;
        } else if (word == "fen") {
            part = FEN;
        } else if (word == "moves" && part == FEN) {
            part = MOVES;
        } else if (part == FEN) {
            row.fen += row.fen.empty() ? word : " " + word;
        } else if (part == MOVES) {
            row.moves.push_back(word);
        }
    }
    return row.depth > 0 && !row.fen.empty();
}

} // namespace

int devSignature(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : TARVOK_SIGNATURE_FILE;
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "tarvok-dev signature: cannot read %s\n", path);
        return 1;
    }
    long long sum = 0;
    int lineNumber = 0;
    std::string line;
    while (std::getline(file, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#') {
            std::printf("%s\n", line.c_str());
            continue;
        }
        if (line.rfind("signature", 0) == 0) continue;
        Row row;
        DevSearchRequest request;
        DevSearchResult result;
        if (parseRow(line, row)) {
            request.fen = row.fen;
            request.moves = row.moves;
            request.maxDepth = row.depth;
            request.limitMs = DEV_NO_TIME_LIMIT;
        }
        if (request.fen.empty() || !runDevSearch(request, result)) {
            std::fprintf(stderr, "tarvok-dev signature: %s:%d: not a row: %s\n", path, lineNumber,
                         line.c_str());
            return 1;
        }
        std::printf("depth %d bestmove %s score %d nodes %lld fen %s", row.depth,
                    result.move.c_str(), result.score, result.nodes, row.fen.c_str());
        if (!row.moves.empty()) {
            std::printf(" moves");
            for (const std::string& m : row.moves) std::printf(" %s", m.c_str());
        }
        std::printf("\n");
        std::fflush(stdout);
        sum += result.nodes;
    }
    std::printf("signature %lld\n", sum);
    return 0;
}
