#include "app/settings.h"

#include <cstring>

#include "book/tarvok_book.h"

namespace {

// Option lines in the order the engine announces them. Spin lines carry
// their default through %d; check and string lines are followed by the
// default text and a line end.
void printOnOff(std::FILE* out, const char* line, bool on) {
    std::fprintf(out, "%s%s\n", line, on ? "true" : "false");
}

// Copies at most UCI_TEXT_TAKEN characters of a command's value.
void takeText(char* dst, const char* value) {
    std::size_t n = std::strlen(value);
    if (n > static_cast<std::size_t>(UCI_TEXT_TAKEN)) n = UCI_TEXT_TAKEN;
    std::memcpy(dst, value, n);
    dst[n] = 0;
}

// Writes a path text as one line: cut at its first line end, one line end
// added, so a key never spills into the next line.
void writePathLine(std::FILE* f, const char* key, const char* text) {
    std::size_t n = std::strcspn(text, "\r\n");
    std::fprintf(f, "%s%.*s\n", key, static_cast<int>(n), text);
}

struct NumberOption {
    const char* prefix;
    int UciOptionValues::*field;
};
struct TextOption {
    const char* prefix;
    char (UciOptionValues::*field)[UCI_TEXT_SIZE];
};
struct FlagOption {
    const char* prefix;
    bool UciOptionValues::*field;
};

constexpr TextOption textOptions[] = {
    {"setoption name NalimovPath value ", &UciOptionValues::nalimovPath},
    {"setoption name BookPath value ", &UciOptionValues::bookPath},
};
constexpr NumberOption numberOptions[] = {
    {"setoption name Hash value ", &UciOptionValues::hash},
    {"setoption name NalimovCache value ", &UciOptionValues::nalimovCache},
    {"setoption name DrawScore value ", &UciOptionValues::drawScore},
    {"setoption name Queen value ", &UciOptionValues::queen},
    {"setoption name Rook value ", &UciOptionValues::rook},
    {"setoption name Bishop value ", &UciOptionValues::bishop},
    {"setoption name Knight value ", &UciOptionValues::knight},
    {"setoption name Pawn value ", &UciOptionValues::pawn},
    {"setoption name number_of_processors value ", &UciOptionValues::processors},
};
constexpr FlagOption flagOptions[] = {
    {"setoption name OwnBook value ", &UciOptionValues::ownBook},
    {"setoption name BookBestMoveOnly value ", &UciOptionValues::bookBestMoveOnly},
    {"setoption name print_Inverted_Score value ", &UciOptionValues::invertedScore},
    {"setoption name Ponder value ", &UciOptionValues::ponder},
    {"setoption name EGTB value ", &UciOptionValues::egtb},
    {"setoption name Extentions value ", &UciOptionValues::extensions},
    {"setoption name Null-move Pruning value ", &UciOptionValues::nullMove},
    {"setoption name Late-move Pruning value ", &UciOptionValues::lateMove},
    {"setoption name Futility Pruning value ", &UciOptionValues::futility},
};

} // namespace

void printUciIdentification(std::FILE* out, const char* identity) {
    const UciOptionValues d;
    std::fprintf(out, "id name %s_UCI\n", identity);
    std::fprintf(out, "id author Dorvane\n");
    std::fprintf(out, "option name number_of_processors type spin min 0 max 8 default %d\n",
                 d.processors);
    std::fprintf(out, "option name Hash type spin min 1 max 4096 default %d\n", d.hash);
    printOnOff(out, "option name OwnBook type check default ", d.ownBook);
    printOnOff(out, "option name BookBestMoveOnly type check default ", d.bookBestMoveOnly);
    std::fprintf(out, "option name BookPath type string default %s\n", d.bookPath);
    printOnOff(out, "option name EGTB type check default ", d.egtb);
    std::fprintf(out, "option name NalimovPath type string default %s\n", d.nalimovPath);
    std::fprintf(out, "option name NalimovCache type spin 1 min 1 max 256 default %d\n",
                 d.nalimovCache);
    printOnOff(out, "option name Ponder type check default ", d.ponder);
    printOnOff(out, "option name Extentions type check default ", d.extensions);
    printOnOff(out, "option name Null-move Pruning type check default ", d.nullMove);
    printOnOff(out, "option name Late-move Pruning type check default ", d.lateMove);
    printOnOff(out, "option name Futility Pruning type check default ", d.futility);
    printOnOff(out, "option name print_Inverted_Score type check default ", d.invertedScore);
    std::fprintf(out, "option name DrawScore type spin min -900 max 900 default %d\n", d.drawScore);
    std::fprintf(out, "option name Queen type spin min -100 max 2000 default %d\n", d.queen);
    std::fprintf(out, "option name Rook type spin min -100 max 1000 default %d\n", d.rook);
    std::fprintf(out, "option name Bishop type spin min -100 max 900 default %d\n", d.bishop);
    std::fprintf(out, "option name Knight type spin min -100 max 900 default %d\n", d.knight);
    std::fprintf(out, "option name Pawn type spin min -100 max 900 default %d\n", d.pawn);
    std::fprintf(out, "uciok\n");
    std::fflush(out);
}

bool applyUciSetoption(UciOptionValues& values, const char* line) {
    for (const TextOption& o : textOptions) {
        if (const char* v = settingsValue(line, o.prefix)) {
            takeText(values.*o.field, v);
            return true;
        }
    }
    for (const NumberOption& o : numberOptions) {
        if (const char* v = settingsValue(line, o.prefix)) {
            values.*o.field = readNumber(v);
            return true;
        }
    }
    for (const FlagOption& o : flagOptions) {
        if (const char* v = settingsValue(line, o.prefix)) {
            values.*o.field = v[0] == 't';
            return true;
        }
    }
    return false;
}

bool writeSettings(const UciOptionValues& v, const char* identity, const char* path) {
    if (settingsFileState(path) == SettingsFileState::NotRegular) return false;
    std::FILE* f = std::fopen(path, "w");
    if (!f) return false;
    std::fprintf(f, "==== settings %s ====\n", identity);
    std::fprintf(f, "pref:printToScreen=0     (0=disabled, 1=enabled)\n");
    std::fprintf(f, "pref:size-hashtable=%d   (in MB)\n", v.hash);
    std::fprintf(f, "pref:NalimovCache=%d     (in MB)\n", v.nalimovCache);
    writePathLine(f, "pref:egtb-path=", v.nalimovPath);
    writePathLine(f, "pref:book-path=", v.bookPath);
    std::fprintf(f, "pref:DRAWSCORE=%d\n", v.drawScore);
    std::fprintf(f, "pref:VALPAWN=%d\n", v.pawn);
    std::fprintf(f, "pref:VALKNIGHT=%d\n", v.knight);
    std::fprintf(f, "pref:VALBISHOP=%d\n", v.bishop);
    std::fprintf(f, "pref:VALROOK=%d\n", v.rook);
    std::fprintf(f, "pref:VALQUEEN=%d\n", v.queen);
    std::fprintf(f, "pref:MAXPROCESSES=%d\n", v.processors);
    std::fprintf(f, "pref:enable_EGTB=%d       (initial value, 0=disabled, 1=enabled)\n",
                 v.egtb ? 1 : 0);
    std::fprintf(f, "pref:enable_BOOK=%d\n", v.ownBook ? 1 : 0);
    std::fprintf(f, "pref:BookBestMoveOnly=%d\n", v.bookBestMoveOnly ? 1 : 0);
    std::fprintf(f, "pref:enable_FUTPRUN=%d\n", v.futility ? 1 : 0);
    std::fprintf(f, "pref:enable_EXTENTIONS=%d\n", v.extensions ? 1 : 0);
    std::fprintf(f, "pref:enable_NMP=%d\n", v.nullMove ? 1 : 0);
    std::fprintf(f, "pref:enable_LMP=%d\n", v.lateMove ? 1 : 0);
    std::fprintf(f, "pref:pondering=%d\n", v.ponder ? 1 : 0);
    std::fprintf(f, "pref:printInvertedScore=%d\n", v.invertedScore ? 1 : 0);
    std::fclose(f);
    return true;
}

const char* settingsFileNote(const char* path) {
    switch (settingsFileState(path)) {
    case SettingsFileState::NotRegular:
        return "tarvok init.ini is not a regular file: skipped, the defaults hold";
    case SettingsFileState::TooLarge:
        return "tarvok init.ini is larger than 65536 bytes: only its start is read";
    default:
        return nullptr;
    }
}

void readFrontEndSettings(FrontEndSettings& s, TarvokBook& book, std::FILE* echo,
                          const char* path) {
    SettingsFile file;
    if (!file.open(path)) return;
    struct Switch {
        const char* key;
        int FrontEndSettings::*field;
        const char* echo;
    };
    static constexpr Switch switches[] = {
        {"pref:pondering=", &FrontEndSettings::ponderEnabled, "   PONDERING:         %d\n"},
        {"pref:enable_EGTB=", &FrontEndSettings::useEgtb, "   enable_EGTB:       %d\n"},
        {"pref:enable_NMP=", &FrontEndSettings::useNullMove, "   enable_NMP:        %d\n"},
        {"pref:enable_LMP=", &FrontEndSettings::useLateMoveReduction, "   enable_LMP:        %d\n"},
        {"pref:enable_FUTPRUN=", &FrontEndSettings::useFutility, "   enable_FUTPRUN:    %d\n"},
        {"pref:enable_BOOK=", &FrontEndSettings::useBook, "   enable_BOOK:       %d\n"},
        {"pref:enable_EXTENTIONS=", &FrontEndSettings::useExtensions, "   enable_EXTENTIONS: %d\n"},
    };
    bool print = false;
    while (const char* line = file.nextLine()) {
        const char* v;
        if ((v = settingsValue(line, "pref:printToScreen="))) {
            print = readNumber(v) != 0;
            if (print) std::fprintf(echo, "Read settings:\n");
        }
        if ((v = settingsValue(line, "pref:book-path="))) {
            book.setBookPath(v);
            if (print) std::fprintf(echo, "   Set bookpath:      %s", v);
        }
        if ((v = settingsValue(line, "pref:BookBestMoveOnly="))) {
            int n = readNumber(v);
            book.setBestMoveOnly(n);
            if (print) std::fprintf(echo, "   BookBestMoveOnly:    %d\n", n);
        }
        for (const Switch& sw : switches) {
            if ((v = settingsValue(line, sw.key))) {
                s.*sw.field = readNumber(v);
                if (print) std::fprintf(echo, sw.echo, s.*sw.field);
            }
        }
        if ((v = settingsValue(line, "pref:MAXPROCESSES="))) {
            int slaves = readNumber(v);
            if (slaves < 0) slaves = 0;
            if (slaves > MAX_SLAVES) slaves = MAX_SLAVES;
            s.processCount = slaves + 1;
            if (print && slaves == 0) std::fprintf(echo, "   MULTIPROCESSING: DISABLED\n");
        }
    }
}
