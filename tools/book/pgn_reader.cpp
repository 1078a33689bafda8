#include "tools/book/pgn_reader.h"

#include <cstdio>
#include <sstream>

#include "board/makemove.h"
#include "board/notation.h"

namespace {

bool resultToken(const std::string& t, PgnGame& g) {
    if (t == "1-0")
        g.result = GameResult::WHITE_WINS;
    else if (t == "0-1")
        g.result = GameResult::BLACK_WINS;
    else if (t == "1/2-1/2")
        g.result = GameResult::DRAW;
    else if (t != "*")
        return false;
    g.finished = t != "*";
    return true;
}

std::string tagValue(const std::string& line) {
    const std::size_t a = line.find('"');
    const std::size_t b = line.rfind('"');
    return a == std::string::npos || b <= a ? std::string() : line.substr(a + 1, b - a - 1);
}

} // namespace

std::vector<PgnGame> readPgn(const std::string& text) {
    std::vector<PgnGame> games;
    PgnGame game;
    Board board;
    bool inGame = false, broken = false;
    int comment = 0, variation = 0;
    auto finish = [&] {
        if (inGame) games.push_back(game);
        game = PgnGame();
        inGame = broken = false;
    };
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (comment == 0 && !line.empty() && line[0] == '[') {
            if (inGame && !game.moves.empty()) finish();
            if (line.rfind("[FEN ", 0) == 0) game.fen = tagValue(line);
            if (line.rfind("[Result ", 0) == 0) resultToken(tagValue(line), game);
            continue;
        }
        std::string token;
        auto take = [&] {
            if (token.empty()) return;
            std::string t = token;
            token.clear();
            if (resultToken(t, game)) {
                finish();
                return;
            }
            if (t[0] == '$' || (t[0] >= '0' && t[0] <= '9')) return; // NAG, move number
            if (!inGame) {
                setFromFen(board, game.fen.c_str());
                inGame = true;
            }
            if (broken) return;
            const Move m = parseSanMove(board, t.c_str());
            if (m == NO_MOVE) {
                broken = true;
                return;
            }
            game.moves.push_back(m);
            makeMove(board, m);
        };
        for (char c : line) {
            if (comment) {
                if (c == '}') comment = 0;
                continue;
            }
            if (c == '{') {
                take();
                comment = 1;
            } else if (c == ';') {
                break;
            } else if (c == '(') {
                take();
                ++variation;
            } else if (c == ')') {
                if (variation > 0) --variation;
            } else if (variation > 0) {
                continue;
            } else if (c == ' ' || c == '\t' || c == '.') { // no SAN move holds a dot
                take();
            } else {
                token += c;
            }
        }
        take();
    }
    finish();
    return games;
}

int addPositionList(BookWriter& writer, const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    int taken = 0, number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const std::size_t a = line.find(';');
        const std::size_t b = a == std::string::npos ? a : line.find(';', a + 1);
        if (b == std::string::npos) {
            std::fprintf(stderr, "line %d: expected FEN ; moves ; counters\n", number);
            continue;
        }
        const std::string fen = line.substr(0, a);
        Board board;
        setFromFen(board, fen.c_str());
        std::vector<Move> moves;
        std::istringstream words(line.substr(a + 1, b - a - 1));
        std::string w;
        while (words >> w) {
            const Move m = parseCoordinateMove(board, w.c_str());
            if (m == NO_MOVE)
                std::fprintf(stderr, "line %d: no legal move %s\n", number, w.c_str());
            else
                moves.push_back(m);
        }
        BookCounters c;
        int flag = 0;
        std::istringstream numbers(line.substr(b + 1));
        numbers >> c.total >> c.lost >> c.won >> c.drawn;
        if (!numbers) {
            std::fprintf(stderr, "line %d: expected total lost won drawn\n", number);
            continue;
        }
        numbers >> flag;
        writer.addPosition(fen.c_str(), moves, c, flag & 0xFF);
        ++taken;
    }
    return taken;
}
