// The settings file: what the UCI option phase writes and what the front end
// reads back.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <tuple>

#include "app/settings.h"
#include "book/tarvok_book.h"
#include "engine_driver.h"

namespace {

const char* kIdentity = "Tarvok_v8.05 (32 bit)";
using testing_engine::ScratchDir;

// Reads the settings file at path; what the reader printed.
std::string readBack(FrontEndSettings& s, TarvokBook& book, const std::string& path) {
    char* buf = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buf, &size);
    readFrontEndSettings(s, book, out, path.c_str());
    std::fclose(out);
    std::string text(buf, size);
    free(buf);
    return text;
}

const std::string kDefaultFile =
    "==== settings Tarvok_v8.05 (32 bit) ====\npref:printToScreen=0     (0=disabled, 1=enabled)\n"
    "pref:size-hashtable=64   (in MB)\npref:NalimovCache=32     (in MB)\n"
    "pref:egtb-path=d:\\chess\\egtb4\npref:book-path=bookTarvok.ctg\npref:DRAWSCORE=-50\n"
    "pref:VALPAWN=100\npref:VALKNIGHT=300\npref:VALBISHOP=300\npref:VALROOK=500\n"
    "pref:VALQUEEN=900\npref:MAXPROCESSES=0\n"
    "pref:enable_EGTB=1       (initial value, 0=disabled, 1=enabled)\npref:enable_BOOK=1\n"
    "pref:BookBestMoveOnly=1\npref:enable_FUTPRUN=1\npref:enable_EXTENTIONS=1\n"
    "pref:enable_NMP=1\npref:enable_LMP=1\npref:pondering=0\npref:printInvertedScore=0\n";

// Each option lands in its own key of the written file and in no other (a
// path cut at 100 characters or at a carriage return, an on/off value read
// by its first letter); the defaults replace a hand-edited file whole.
TEST(UciOptions, SetoptionLinesLandInTheirKeys) {
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"", false, ""},
        {"hash value 128\n", false, ""},
        {"Hash  value 1\n", false, ""},
        {"Style value Risky\n", false, ""},
        {"Hash value 128\n", true, "pref:size-hashtable=128   (in MB)"},
        {"Hash value 99999999999\n", true, "pref:size-hashtable=2147483647   (in MB)"},
        {"NalimovCache value 16.9\n", true, "pref:NalimovCache=16     (in MB)"},
        {"DrawScore value -12\n", true, "pref:DRAWSCORE=-12"},
        {"Queen value 950\n", true, "pref:VALQUEEN=950"},
        {"Rook value 510\n", true, "pref:VALROOK=510"},
        {"Bishop value 330\n", true, "pref:VALBISHOP=330"},
        {"Knight value 320\n", true, "pref:VALKNIGHT=320"},
        {"Pawn value 90\n", true, "pref:VALPAWN=90"},
        {"number_of_processors value 3\n", true, "pref:MAXPROCESSES=3"},
        {"OwnBook value false\n", true, "pref:enable_BOOK=0"},
        {"BookBestMoveOnly value false\n", true, "pref:BookBestMoveOnly=0"},
        {"print_Inverted_Score value true\n", true, "pref:printInvertedScore=1"},
        {"Ponder value tru\n", true, "pref:pondering=1"},
        {"Ponder value True\n", true, ""},
        {"EGTB value false\n", true,
         "pref:enable_EGTB=0       (initial value, 0=disabled, 1=enabled)"},
        {"Extentions value false\n", true, "pref:enable_EXTENTIONS=0"},
        {"Null-move Pruning value false\n", true, "pref:enable_NMP=0"},
        {"Late-move Pruning value false\n", true, "pref:enable_LMP=0"},
        {"Futility Pruning value false\n", true, "pref:enable_FUTPRUN=0"},
        {"NalimovPath value /tb/five men\n", true, "pref:egtb-path=/tb/five men"},
        {"NalimovPath value " + std::string(300, 'x'), true,
         "pref:egtb-path=" + std::string(100, 'x')},
        {"BookPath value /books/main.ctg\r\n", true, "pref:book-path=/books/main.ctg"},
        {"BookPath value a.ctg\rpref:MAXPROCESSES=8\n", true, "pref:book-path=a.ctg"},
    };
    ScratchDir dir;
    const std::string path = dir.file("tarvok init.ini");
    dir.write("tarvok init.ini", "pref:printToScreen=1\nsomething hand-edited\n");
    for (const auto& [option, applied, line] : cases) {
        UciOptionValues v;
        EXPECT_EQ(applyUciSetoption(v, ("setoption name " + option).c_str()), applied) << option;
        ASSERT_TRUE(writeSettings(v, kIdentity, path.c_str()));
        std::string expected = kDefaultFile; // with the option's line changed
        const std::string key = std::string("\n").append(line, 0, line.find('=') + 1);
        const std::size_t at = expected.find(key) + 1;
        if (!line.empty()) expected.replace(at, expected.find('\n', at) - at, line);
        EXPECT_EQ(dir.read("tarvok init.ini"), expected) << option;
    }
    EXPECT_FALSE(writeSettings(UciOptionValues{}, kIdentity, "/nonexistent-dir/tarvok init.ini"));
}

// Every key read and echoed; the echo starts at the switch, a later line
// wins, a key counts only at the line start, the process count is held to
// the slave range.
TEST(FrontEndSettingsReader, KeysEchoNumbersAndOddFiles) {
    ScratchDir dir;
    const std::string path = dir.file("tarvok init.ini");
    dir.write("tarvok init.ini", "pref:printToScreen=1\npref:book-path=/b/x.ctg   \n"
                                 "pref:BookBestMoveOnly=0\npref:pondering=1\npref:enable_EGTB=0\n"
                                 "pref:enable_NMP=0\npref:enable_LMP=0\npref:enable_FUTPRUN=0\n"
                                 "pref:enable_BOOK=0\npref:enable_EXTENTIONS=0\n"
                                 "pref:MAXPROCESSES=3\n");
    FrontEndSettings s;
    TarvokBook book;
    EXPECT_EQ(readBack(s, book, path),
              "Read settings:\n   Set bookpath:      /b/x.ctg   \n   BookBestMoveOnly:    0\n"
              "   PONDERING:         1\n   enable_EGTB:       0\n   enable_NMP:        0\n"
              "   enable_LMP:        0\n   enable_FUTPRUN:    0\n   enable_BOOK:       0\n"
              "   enable_EXTENTIONS: 0\n");
    EXPECT_EQ(std::make_tuple(std::string(book.bookName()), book.bestMoveOnly(), s.ponderEnabled,
                              s.useEgtb + s.useNullMove + s.useLateMoveReduction + s.useFutility +
                                  s.useBook + s.useExtensions,
                              s.processCount),
              std::make_tuple("/b/x.ctg", 0, 1, 0, 4));
    const std::tuple<const char*, int, const char*> cases[] = {
        {"==== header ====\npref:MAXPROCESSES=0\npref:pondering=1\npref:pondering=0   (off)\n"
         "  pref:enable_NMP=0 (not at the line start)\npref:printToScreen=1\n",
         1, ""},
        {"pref:printToScreen=1\npref:MAXPROCESSES=0\n", 1, "   MULTIPROCESSING: DISABLED\n"},
        {"pref:printToScreen=1\npref:MAXPROCESSES=-4\n", 1, "   MULTIPROCESSING: DISABLED\n"},
        {"pref:printToScreen=1\npref:MAXPROCESSES=2\n", 3, ""},
        {"pref:printToScreen=1\npref:MAXPROCESSES=9\n", 9, ""},
        {"pref:printToScreen=1\npref:MAXPROCESSES=4000000000\n", 9, ""},
    };
    for (const auto& [file, count, echo] : cases) {
        dir.write("tarvok init.ini", file);
        FrontEndSettings t;
        EXPECT_EQ(readBack(t, book, path), std::string("Read settings:\n") + echo) << file;
        EXPECT_EQ(std::make_pair(t.processCount, t.ponderEnabled * 10 + t.useNullMove),
                  std::make_pair(count, 1))
            << file;
    }
    // Numbers are decimal only: no hexadecimal, no infinities, no "nan".
    const std::pair<const char*, int> numbers[] = {
        {"0x10", 0},   {"inf", 0},  {"-infinity", 0},     {"nan", 0},  {"  64   (in MB)", 64},
        {"-7.9x", -7}, {".5e1", 5}, {"1e12", 2147483647}, {"12e", 12}, {"-", 0},
        {".", 0}};
    for (const auto& [text, n] : numbers) EXPECT_EQ(readNumber(text), n) << text;
    // Only a regular file is read, and at most its first 65536 bytes: a FIFO or
    // a device in its place would block the start or never end.
    std::filesystem::remove(path);
    EXPECT_EQ(settingsFileNote(path.c_str()), nullptr); // missing: the defaults, silently
    s.ponderEnabled = 7;
    TarvokBook fresh;
    EXPECT_EQ(std::make_tuple(readBack(s, fresh, path), s.ponderEnabled,
                              std::string(fresh.bookName()), fresh.bestMoveOnly()),
              std::make_tuple("", 7, "bookTarvok.ctg", 1));
    // The engine's start with such files is checked by the process tests.
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(writeSettings(UciOptionValues{}, kIdentity, path.c_str()));
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_FALSE(SettingsFile().open(path.c_str()));
    std::filesystem::remove(path);
    // A key within the first 65536 bytes counts, one behind them does not.
    s.ponderEnabled = 0;
    dir.write("tarvok init.ini", "pref:MAXPROCESSES=2\n" +
                                     std::string(SETTINGS_MAX_BYTES - 10, '#') +
                                     "\npref:pondering=1\n");
    readBack(s, book, path);
    EXPECT_EQ(std::make_pair(s.processCount, s.ponderEnabled), std::make_pair(3, 0));
    EXPECT_STREQ(settingsFileNote(path.c_str()),
                 "tarvok init.ini is larger than 65536 bytes: only its start is read");
}

} // namespace
