// The front end's part of the settings file "tarvok init.ini": the values the
// UCI option phase collects and writes there, and the reader for the keys the
// game controller applies at its construction. The material values, the hash
// sizes and the tablebase keys have their own readers in the board tables,
// the hash tables and the search processes.
#pragma once

#include <cstdio>

#include "board/settings_file.h"

class TarvokBook;

// Capacity of a text option; a command gives at most UCI_TEXT_TAKEN characters.
inline constexpr int UCI_TEXT_SIZE = 1000;
inline constexpr int UCI_TEXT_TAKEN = 100;

// The option values of the UCI option phase, initialised to the defaults the
// engine announces. On/off options are plain flags: the protocol's text value
// counts as on when it begins with "t".
struct UciOptionValues {
    int processors = 0;
    int hash = 64;
    bool ownBook = true;
    bool bookBestMoveOnly = true;
    char bookPath[UCI_TEXT_SIZE] = "bookTarvok.ctg";
    bool egtb = true;
    char nalimovPath[UCI_TEXT_SIZE] = "d:\\chess\\egtb4";
    int nalimovCache = 32;
    bool ponder = false;
    bool extensions = true;
    bool nullMove = true;
    bool lateMove = true;
    bool futility = true;
    bool invertedScore = false;
    int drawScore = -50;
    int queen = 900;
    int rook = 500;
    int bishop = 300;
    int knight = 300;
    int pawn = 100;
};

// Prints "id name", "id author", the twenty option lines and "uciok".
void printUciIdentification(std::FILE* out, const char* identity);
// Applies one option-phase line ("setoption name X value Y"). A line that
// matches no option changes nothing; returns whether one matched.
bool applyUciSetoption(UciOptionValues& values, const char* line);
// Creates the settings file anew from the option values. Returns false (and
// writes nothing) when the file cannot be created or something other than a
// regular file is in its place.
bool writeSettings(const UciOptionValues& values, const char* identity,
                   const char* path = SETTINGS_FILE_NAME);

// One line (without its end) about a settings file that is read in part or
// not at all, for the front end to print once; nullptr when all is well.
const char* settingsFileNote(const char* path = SETTINGS_FILE_NAME);

// The keys the game controller reads. The defaults are the values the
// controller holds before it reads the file.
struct FrontEndSettings {
    int ponderEnabled = 0;
    int useEgtb = 1;
    int useNullMove = 1;
    int useLateMoveReduction = 1;
    int useFutility = 1;
    int useBook = 1;
    int useExtensions = 1;
    int processCount = 1; // search processes: the controller plus the slaves
};

// The most slaves the engine starts (the per-process arrays have room for
// the controller and eight slaves).
inline constexpr int MAX_SLAVES = 8;

// Reads the front end's keys (printToScreen, book-path, BookBestMoveOnly,
// pondering, the six switches, MAXPROCESSES, in that order per line) into
// settings and the book, echoing what it reads to echo after a nonzero
// "pref:printToScreen=". A missing file keeps everything as it is.
void readFrontEndSettings(FrontEndSettings& settings, TarvokBook& book, std::FILE* echo,
                          const char* path = SETTINGS_FILE_NAME);
