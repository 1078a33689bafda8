// Tablebases in the engine's processes: the start-up lines come once per
// engine and only with tables, a broken table file ends the search processes
// with its line while the front end still quits, and tarvok-dev probe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine_driver.h"

namespace {

using namespace testing_engine;

void startXboard(EngineProcess& e) {
    ASSERT_TRUE(e.waitForPrefix("Choose mode"));
    e.send("xboard");
    e.send("protover 2");
    e.send("ping 1");
    ASSERT_TRUE(e.waitFor([](const std::string& l) { return l == "pong 1"; }, 20000ms));
}

long countLines(const EngineProcess& e, const std::string& line) {
    const auto& t = e.transcript();
    return std::count(t.begin(), t.end(), line);
}

TEST(EngineTablebases, StartUpLinesOnceAndOnlyWithTables) {
    ScratchDir dir;
    dir.write("tarvok init.ini",
              "pref:MAXPROCESSES=2\npref:NalimovCache=2\npref:egtb-path=/nonexistent;" +
                  dir.path() + "\n");
    // Files of the tables' lengths (every position a draw).
    dir.write("kbk.nbw", std::string(27243, '\0'));
    dir.write("knkp.nbb", std::string(4981504, '\0'));
    EngineProcess e(dir.path());
    startXboard(e);
    if (countLines(e, "Egtb cache size 2M") == 0) {
        EXPECT_TRUE(e.waitFor([](const std::string& l) { return l == "Egtb cache size 2M"; }))
            << "waited for the cache size line";
    }
    e.drain(500ms);
    EXPECT_EQ(countLines(e, "Egtbs initializated(4)"), 1) << e.transcriptText();
    EXPECT_EQ(countLines(e, "Egtb cache size 2M"), 1);
    e.send("quit");
    EXPECT_EQ(e.waitExit(15000ms), 0);

    ScratchDir plain; // no directory setting: nothing is looked for
    plain.write("kbk.nbw", "abc");
    EngineProcess p(plain.path());
    startXboard(p);
    p.drain(500ms);
    EXPECT_EQ(p.transcriptText().find("Egtb"), std::string::npos) << p.transcriptText();
    p.send("quit");
    EXPECT_EQ(p.waitExit(15000ms), 0);
}

TEST(EngineTablebases, BrokenFileEndsTheSearchProcessesButQuitStillWorks) {
    ScratchDir dir;
    dir.write("tarvok init.ini", "pref:MAXPROCESSES=1\npref:egtb-path=\n");
    dir.write("krk.nbw.emd", std::string(60, 'x')); // the current directory's table
    EngineProcess e(dir.path());
    ASSERT_TRUE(e.waitForPrefix("Choose mode"));
    e.send("xboard");
    e.send("protover 2");
    EXPECT_TRUE(e.waitFor(
        [](const std::string& l) { return l == "*** Unable to read krk.nbw.emd - read error"; },
        10000ms))
        << "waited for the broken file's line";
    e.send("quit");
    EXPECT_EQ(e.waitExit(15000ms), 0) << e.transcriptText();
}

TEST(EngineTablebases, DevProbeRegistersFromTheSettingsFile) {
    ScratchDir dir;
    dir.write("tarvok init.ini", "pref:NalimovCache=1\npref:egtb-path=.\n");
    // The generator writes kqk (and nothing it needs).
    std::string command = "cd '" + dir.path() +
                          "' && timeout 20 " TARVOK_BINARY_DIR
                          "/tarvok-tbgen . kqk > /dev/null && timeout 10 " TARVOK_BINARY_DIR
                          "/tarvok-dev probe 'k7/8/8/8/8/8/8/KQ6 w - - 0 1'";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, out)) text += buf;
    EXPECT_EQ(pclose(out), 0);
    // Ka1 Qb1 against Ka8: mate in 7.
    EXPECT_EQ(text, "Egtbs initializated(3)\nEgtb cache size 1M\nprobe 15986\n");
}

} // namespace
