// The settings file: what the UCI option phase writes, what the front end
// reads back, and the book configuration taken from it.
#include <gtest/gtest.h>

#include <filesystem>

#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "app/settings.h"
#include "book/tarvok_book.h"
#include "engine_driver.h"

namespace {

const char* kIdentity = "Tarvok_v8.05 (32 bit)";

using TempDir = testing_engine::ScratchDir;

// Captures what a function prints to a FILE*.
template <class F> std::string captured(F&& f) {
    char* buf = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buf, &size);
    f(out);
    std::fclose(out);
    std::string s(buf, size);
    free(buf);
    return s;
}

// Reads the settings file at path; what the reader printed.
std::string readBack(FrontEndSettings& s, TarvokBook& book, const std::string& path) {
    return captured([&](std::FILE* f) { readFrontEndSettings(s, book, f, path.c_str()); });
}

const char* kDefaultFile = "==== settings Tarvok_v8.05 (32 bit) ====\n"
                           "pref:printToScreen=0     (0=disabled, 1=enabled)\n"
                           "pref:size-hashtable=64   (in MB)\n"
                           "pref:NalimovCache=32     (in MB)\n"
                           "pref:egtb-path=d:\\chess\\egtb4\n"
                           "pref:book-path=bookTarvok.ctg\n"
                           "pref:DRAWSCORE=-50\n"
                           "pref:VALPAWN=100\n"
                           "pref:VALKNIGHT=300\n"
                           "pref:VALBISHOP=300\n"
                           "pref:VALROOK=500\n"
                           "pref:VALQUEEN=900\n"
                           "pref:MAXPROCESSES=0\n"
                           "pref:enable_EGTB=1       (initial value, 0=disabled, 1=enabled)\n"
                           "pref:enable_BOOK=1\n"
                           "pref:BookBestMoveOnly=1\n"
                           "pref:enable_FUTPRUN=1\n"
                           "pref:enable_EXTENTIONS=1\n"
                           "pref:enable_NMP=1\n"
                           "pref:enable_LMP=1\n"
                           "pref:pondering=0\n"
                           "pref:printInvertedScore=0\n";

TEST(UciOptions, IdentificationAndOptionLinesByteForByte) {
    std::string out = captured([](std::FILE* f) { printUciIdentification(f, kIdentity); });
    EXPECT_EQ(out, "id name Tarvok_v8.05 (32 bit)_UCI\n"
                   "id author Dorvane\n"
                   "option name number_of_processors type spin min 0 max 8 default 0\n"
                   "option name Hash type spin min 1 max 4096 default 64\n"
                   "option name OwnBook type check default true\n"
                   "option name BookBestMoveOnly type check default true\n"
                   "option name BookPath type string default bookTarvok.ctg\n"
                   "option name EGTB type check default true\n"
                   "option name NalimovPath type string default d:\\chess\\egtb4\n"
                   "option name NalimovCache type spin 1 min 1 max 256 default 32\n"
                   "option name Ponder type check default false\n"
                   "option name Extentions type check default true\n"
                   "option name Null-move Pruning type check default true\n"
                   "option name Late-move Pruning type check default true\n"
                   "option name Futility Pruning type check default true\n"
                   "option name print_Inverted_Score type check default false\n"
                   "option name DrawScore type spin min -900 max 900 default -50\n"
                   "option name Queen type spin min -100 max 2000 default 900\n"
                   "option name Rook type spin min -100 max 1000 default 500\n"
                   "option name Bishop type spin min -100 max 900 default 300\n"
                   "option name Knight type spin min -100 max 900 default 300\n"
                   "option name Pawn type spin min -100 max 900 default 100\n"
                   "uciok\n");
}

TEST(UciOptions, DefaultsWriteTheWholeFileLineForLine) {
    TempDir dir;
    std::string path = dir.file("tarvok init.ini");
    dir.write("tarvok init.ini", "pref:printToScreen=1\nsomething hand-edited\n");
    ASSERT_TRUE(writeSettings(UciOptionValues{}, kIdentity, path.c_str()));
    EXPECT_EQ(dir.read("tarvok init.ini"), kDefaultFile);
}

// Each option lands in its own key of the written file and in no other.
TEST(UciOptions, SetoptionLinesLandInTheirKeys) {
    const std::pair<const char*, const char*> cases[] = {
        {"Hash value 128\n", "pref:size-hashtable=128   (in MB)"},
        {"NalimovCache value 16.9\n", "pref:NalimovCache=16     (in MB)"},
        {"DrawScore value -12\n", "pref:DRAWSCORE=-12"},
        {"Queen value 950\n", "pref:VALQUEEN=950"},
        {"Rook value 510\n", "pref:VALROOK=510"},
        {"Bishop value 330\n", "pref:VALBISHOP=330"},
        {"Knight value 320\n", "pref:VALKNIGHT=320"},
        {"Pawn value 90\n", "pref:VALPAWN=90"},
        {"number_of_processors value 3\n", "pref:MAXPROCESSES=3"},
        {"OwnBook value false\n", "pref:enable_BOOK=0"},
        {"BookBestMoveOnly value false\n", "pref:BookBestMoveOnly=0"},
        {"print_Inverted_Score value true\n", "pref:printInvertedScore=1"},
        {"Ponder value true\n", "pref:pondering=1"},
        {"EGTB value false\n", "pref:enable_EGTB=0       (initial value, 0=disabled, 1=enabled)"},
        {"Extentions value false\n", "pref:enable_EXTENTIONS=0"},
        {"Null-move Pruning value false\n", "pref:enable_NMP=0"},
        {"Late-move Pruning value false\n", "pref:enable_LMP=0"},
        {"Futility Pruning value false\n", "pref:enable_FUTPRUN=0"},
        {"NalimovPath value /tb/five men\n", "pref:egtb-path=/tb/five men"},
        {"BookPath value /books/main.ctg\r\n", "pref:book-path=/books/main.ctg"},
    };
    TempDir dir;
    std::string path = dir.file("tarvok init.ini");
    for (const auto& [option, line] : cases) {
        UciOptionValues v;
        EXPECT_TRUE(applyUciSetoption(v, (std::string("setoption name ") + option).c_str()));
        ASSERT_TRUE(writeSettings(v, kIdentity, path.c_str()));
        // The default file with the option's line changed.
        std::string expected = kDefaultFile;
        const std::string key = std::string(line).substr(0, std::string(line).find('=') + 1);
        const std::size_t at = expected.find("\n" + key) + 1;
        expected.replace(at, expected.find('\n', at) - at, line);
        EXPECT_EQ(dir.read("tarvok init.ini"), expected) << option;
    }
}

TEST(UciOptions, UnknownMalformedAndCaseChangedLinesChangeNothing) {
    UciOptionValues v;
    EXPECT_FALSE(applyUciSetoption(v, "setoption name hash value 128\n"));
    EXPECT_FALSE(applyUciSetoption(v, "setoption name Hash  value 128\n"));
    EXPECT_FALSE(applyUciSetoption(v, "setoption name Style value Risky\n"));
    EXPECT_FALSE(applyUciSetoption(v, "setoption"));
    EXPECT_TRUE(applyUciSetoption(v, "setoption name Hash value ")); // no number: 0
    EXPECT_EQ(v.hash, 0);
    EXPECT_TRUE(applyUciSetoption(v, "setoption name Hash value 99999999999\n"));
    EXPECT_EQ(v.hash, 2147483647);
    // Only the first letter of an on/off value counts.
    EXPECT_TRUE(applyUciSetoption(v, "setoption name Ponder value tru\n"));
    EXPECT_TRUE(v.ponder);
    EXPECT_TRUE(applyUciSetoption(v, "setoption name Ponder value True\n"));
    EXPECT_FALSE(v.ponder);
    EXPECT_TRUE(applyUciSetoption(v, "setoption name Ponder value "));
    EXPECT_FALSE(v.ponder);
}

TEST(UciOptions, PathTextsKeepOneKeyPerLine) {
    UciOptionValues v;
    std::string longPath(300, 'x');
    ASSERT_TRUE(applyUciSetoption(v, ("setoption name NalimovPath value " + longPath).c_str()));
    // A value with an embedded carriage return must not start a second key.
    ASSERT_TRUE(applyUciSetoption(v, "setoption name BookPath value a.ctg\rpref:MAXPROCESSES=8\n"));
    TempDir dir;
    std::string path = dir.file("s.ini");
    ASSERT_TRUE(writeSettings(v, kIdentity, path.c_str()));
    std::string text = dir.read("s.ini");
    EXPECT_NE(text.find("pref:egtb-path=" + std::string(100, 'x') + "\npref:book-path=a.ctg\n"),
              std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.find("pref:MAXPROCESSES=0\n"), std::string::npos);
    EXPECT_EQ(text.find("pref:MAXPROCESSES=8"), std::string::npos);
    EXPECT_FALSE(writeSettings(v, kIdentity, "/nonexistent-dir/tarvok init.ini"));
}

TEST(FrontEndSettingsReader, EchoesEveryKeyAfterPrintToScreen) {
    TempDir dir;
    std::string path = dir.file("tarvok init.ini");
    dir.write("tarvok init.ini", "pref:printToScreen=1\n"
                                 "pref:book-path=/b/x.ctg   \n"
                                 "pref:BookBestMoveOnly=0\n"
                                 "pref:pondering=1\n"
                                 "pref:enable_EGTB=0\n"
                                 "pref:enable_NMP=0\n"
                                 "pref:enable_LMP=0\n"
                                 "pref:enable_FUTPRUN=0\n"
                                 "pref:enable_BOOK=0\n"
                                 "pref:enable_EXTENTIONS=0\n"
                                 "pref:MAXPROCESSES=3\n");
    FrontEndSettings s;
    TarvokBook book;
    std::string out = readBack(s, book, path);
    EXPECT_EQ(out, "Read settings:\n"
                   "   Set bookpath:      /b/x.ctg   \n"
                   "   BookBestMoveOnly:    0\n"
                   "   PONDERING:         1\n"
                   "   enable_EGTB:       0\n"
                   "   enable_NMP:        0\n"
                   "   enable_LMP:        0\n"
                   "   enable_FUTPRUN:    0\n"
                   "   enable_BOOK:       0\n"
                   "   enable_EXTENTIONS: 0\n");
    EXPECT_STREQ(book.bookName(), "/b/x.ctg");
    EXPECT_EQ(book.bestMoveOnly(), 0);
    EXPECT_EQ(s.ponderEnabled, 1);
    EXPECT_EQ(s.useEgtb + s.useNullMove + s.useLateMoveReduction + s.useFutility + s.useBook +
                  s.useExtensions,
              0);
    EXPECT_EQ(s.processCount, 4);
}

// The echo starts at the switch, a later line wins, a key counts only at the
// line start, and the process count is held to the slave range.
TEST(FrontEndSettingsReader, EchoAfterTheSwitchLaterLinesWinAndProcessCountClamped) {
    TempDir dir;
    std::string path = dir.file("tarvok init.ini");
    struct Case {
        const char* file;
        int count;
        const char* echo;
    } cases[] = {
        {"==== header ====\npref:MAXPROCESSES=0\npref:pondering=1\npref:pondering=0   (off)\n"
         "  pref:enable_NMP=0 (not at the line start)\npref:printToScreen=1\n",
         1, ""},
        {"pref:printToScreen=1\npref:MAXPROCESSES=0\n", 1, "   MULTIPROCESSING: DISABLED\n"},
        {"pref:printToScreen=1\npref:MAXPROCESSES=-4\n", 1, "   MULTIPROCESSING: DISABLED\n"},
        {"pref:printToScreen=1\npref:MAXPROCESSES=2\n", 3, ""},
        {"pref:printToScreen=1\npref:MAXPROCESSES=9\n", 9, ""},
        {"pref:printToScreen=1\npref:MAXPROCESSES=4000000000\n", 9, ""},
    };
    for (const Case& c : cases) {
        dir.write("tarvok init.ini", c.file);
        FrontEndSettings s;
        TarvokBook book;
        EXPECT_EQ(readBack(s, book, path), std::string("Read settings:\n") + c.echo) << c.file;
        EXPECT_EQ(s.processCount, c.count) << c.file;
        EXPECT_EQ(s.ponderEnabled, 0) << c.file;
        EXPECT_EQ(s.useNullMove, 1) << c.file;
    }
}

// Numbers are decimal only: no hexadecimal, no infinities, no "nan".
TEST(SettingsNumbers, DecimalOnly) {
    EXPECT_EQ(readNumber("0x10"), 0);
    EXPECT_EQ(readNumber("inf"), 0);
    EXPECT_EQ(readNumber("-infinity"), 0);
    EXPECT_EQ(readNumber("nan"), 0);
    EXPECT_EQ(readNumber("  64   (in MB)"), 64);
    EXPECT_EQ(readNumber("-7.9x"), -7);
    EXPECT_EQ(readNumber(".5e1"), 5);
    EXPECT_EQ(readNumber("1e12"), 2147483647);
    EXPECT_EQ(readNumber("12e"), 12);
    EXPECT_EQ(readNumber("-"), 0);
    EXPECT_EQ(readNumber("."), 0);
}

// Only a regular file is read, and at most its first 65536 bytes: a FIFO or
// a device in its place would block the start or never end.
TEST(FrontEndSettingsReader, MissingAndOddFilesAreSkippedAndLargeOnesCut) {
    TempDir dir;
    std::string path = dir.file("tarvok init.ini");
    // Missing: the defaults hold, and nothing is said.
    EXPECT_EQ(settingsFileNote(path.c_str()), nullptr);
    FrontEndSettings s;
    s.ponderEnabled = 7;
    TarvokBook book;
    EXPECT_EQ(readBack(s, book, path), "");
    EXPECT_EQ(s.ponderEnabled, 7);
    EXPECT_STREQ(book.bookName(), "bookTarvok.ctg");
    EXPECT_EQ(book.bestMoveOnly(), 1);
    s.ponderEnabled = 0;

    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    readFrontEndSettings(s, book, stdout, path.c_str());
    EXPECT_EQ(s.processCount, 1);
    EXPECT_STREQ(settingsFileNote(path.c_str()),
                 "tarvok init.ini is not a regular file: skipped, the defaults hold");
    EXPECT_FALSE(writeSettings(UciOptionValues{}, kIdentity, path.c_str()));
    std::filesystem::remove(path);

    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_FALSE(SettingsFile().open(path.c_str()));
    EXPECT_NE(settingsFileNote(path.c_str()), nullptr);
    std::filesystem::remove(path);

    // A key within the first 65536 bytes counts, one behind them does not.
    std::string filler(SETTINGS_MAX_BYTES - 10, '#');
    dir.write("tarvok init.ini", "pref:MAXPROCESSES=2\n" + filler + "\npref:pondering=1\n");
    readFrontEndSettings(s, book, stdout, path.c_str());
    EXPECT_EQ(s.processCount, 3);
    EXPECT_EQ(s.ponderEnabled, 0);
    EXPECT_STREQ(settingsFileNote(path.c_str()),
                 "tarvok init.ini is larger than 65536 bytes: only its start is read");
}

TEST(BookConfiguration, PathIsCutBehindCtgAndModeClamped) {
    TarvokBook book;
    // Any path a settings line holds, cut after ".ctg" wherever it stands.
    for (const std::string& path : {std::string("plainname\n"), std::string(200, 'a'),
                                    std::string(120, 'b') + ".ctg   (book)\n"}) {
        book.setBookPath(path.c_str());
        EXPECT_EQ(
            book.bookName(),
            path.substr(0, path.find(".ctg") == path.npos ? path.npos : path.find(".ctg") + 4));
    }
    book.setBestMoveOnly(-3);
    EXPECT_EQ(book.bestMoveOnly(), 0);
    book.setBestMoveOnly(5);
    EXPECT_EQ(book.bestMoveOnly(), 1);
}

} // namespace
