// The engine as a set of processes: the binary's roles, the process count,
// every way it ends (nothing left in /dev/shm or the process table), search
// processes that are slow, stopped or killed, slaves that must not search
// side by side, a table that does not fit and tablebase files.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <tuple>

#include "app/identity.h"
#include "engine_driver.h"

namespace {

using namespace testing_engine;
using Clock = std::chrono::steady_clock;

// The prompt, the protocol by the first three letters; one argument is a
// search process started by hand (status 1) or a usage line (status 2). A
// settings file that is a FIFO or a link to /dev/zero is skipped with one
// line, and the engine answers at once.
TEST(Processes, RolesOfTheBinaryThePromptAndOddSettingsFiles) {
    // Exit status, standard output and standard error of build/tarvok.
    auto tarvok = [](const std::string& args, const std::string& input,
                     const std::string& setup = "") {
        ScratchDir dir;
        auto [status, out] = runShell(
            dir.path(), setup + "exec '" + engineBinary() + "' " + args + " 2>err", input, 5s);
        return std::make_tuple(status, out, dir.read("err"));
    };
    const std::string greeting = std::string(engineId) + "\n\nChoose mode: Type xboard or uci\n";
    for (const std::string line : {"uci", "ucinewgame", "xboard", "protover 2", "uc"}) {
        auto [status, out, err] = tarvok("", line);
        EXPECT_EQ(std::make_tuple(status, out.rfind(greeting, 0), err), std::make_tuple(0, 0u, ""))
            << line << ":\n" + out;
        EXPECT_NE(out.find(line.starts_with("uci") ? "_UCI\n" : "feature done=0\n"), out.npos);
    }
    const std::string skipped =
        "tarvok init.ini is not a regular file: skipped, the defaults hold\n";
    for (const auto& [setup, mode, note] :
         {std::tuple{"mkfifo 'tarvok init.ini'; ", "xboard", "\n" + skipped},
          {"ln -s /dev/zero 'tarvok init.ini'; ", "uci\nisready", "\ninfo string " + skipped}}) {
        auto [status, out, err] = tarvok("", mode, setup);
        EXPECT_EQ(status, 0) << mode;
        EXPECT_TRUE(out.find(note) != out.npos && out.find(note) == out.rfind(note)) << out;
    }
    EXPECT_EQ(tarvok("1 2", ""), std::make_tuple(0, greeting, ""));
    const std::string byHand = "Search process 1 runs only when the engine starts it: start "
                               "tarvok without arguments.\n";
    EXPECT_EQ(tarvok("12", ""), std::make_tuple(1, byHand, ""));
    for (const char* arg : {"--help", "-h", "x", "''"}) {
        auto [status, out, err] = tarvok(arg, "");
        EXPECT_EQ(std::make_tuple(status, out), std::make_tuple(2, "")) << arg;
        EXPECT_TRUE(!err.empty() && err.find('\n') == err.size() - 1) << "one line: " << err;
    }
}

TEST(Processes, CountFromTheSettingsFileAndEveryEndLeavesNothing) {
    enum End { Quit, EndOfInput, Kill, KillAtOptions };
    const std::tuple<const char*, bool, const char*, std::size_t, End> cases[] = {
        {"", false, "Using 0 processor", 2, Quit},
        {"", true, "Using 2 processors", 4, EndOfInput}, // the count set by the option
        {"pref:MAXPROCESSES=2\n", false, "Using 2 processors", 4, EndOfInput},
        {"pref:MAXPROCESSES=1\n", false, "Using 1 processor", 3, Kill},
        {"pref:MAXPROCESSES=40\n", false, "Using 8 processors", 10, Quit},
        {"", true, "", 1, KillAtOptions},
    };
    for (const auto& [settings, uci, using_, processes, end] : cases) {
        SCOPED_TRACE(std::string(settings) + (uci ? "uci" : "xboard"));
        Engine e(settings);
        if (end == KillAtOptions) {
            e.until({"uci"}, "uciok");
        } else if (uci) {
            EXPECT_EQ(withPrefix(e.uci({"setoption name number_of_processors value 2"}), "Using "),
                      Lines{using_});
            e.send({"position startpos", "go infinite"});
        } else {
            EXPECT_EQ(withPrefix(e.xboard(), "Using "), Lines{using_});
            e.send({"new", end == Quit ? "st 1" : "st 100", end == Quit ? "e2e4" : "go"});
        }
        expectProcessesIn(e.dir.path(), processes);
        if (end == Quit) {
            e->expectPrefix("move ", 15000ms);
            e.quit();
        } else {
            e->drain(300ms);
            end == EndOfInput ? e->closeInput() : e->killFrontEnd();
            EXPECT_EQ(e->waitExit(), end == EndOfInput ? 0 : 128 + SIGKILL);
            expectNothingLeft(e.dir.path(), e->pid());
        }
    }
}

// Builds the game controller with line and stops process 0 as soon as it
// exists, so (almost always) before it has attached to the shared objects.
pid_t buildAndStopController(Engine& e, const std::string& line) {
    e->send(line);
    pid_t controller = searchProcessIn(e.dir.path(), 0);
    if (controller > 0) kill(controller, SIGSTOP);
    return controller;
}

TEST(Processes, StoppedControllerNeitherKillsTheInstanceNorHoldsUpQuit) {
    Engine e;
    e.until({"uci"}, "uciok");
    e.send({"setoption name number_of_processors value 1", "setoption name Hash value 1"});
    pid_t controller = buildAndStopController(e, "isready");
    ASSERT_GT(controller, 0);
    // The front end goes on once the stopped process makes no progress, and
    // keeps the names the process has yet to open.
    e->expectLine("readyok", 6000ms);
    EXPECT_NE(sharedObjectsOf(e->pid()), Lines{});
    // The settings file rewritten meanwhile (by another engine in the same
    // folder): the search processes play with their front end's options, so
    // the queen is taken with the value 900, not the file's 100.
    e.dir.write("tarvok init.ini", "pref:VALQUEEN=100\npref:size-hashtable=2\n");
    e.send({"position fen k7/8/8/8/8/8/8/KQ4q1 w - - 0 1", "go depth 2"});
    EXPECT_FALSE(e->waitForPrefix("bestmove", 500ms));
    kill(controller, SIGCONT); // it attaches and answers the waiting search
    e->expectLine("bestmove b1g1");
    e->expectLine("toMove=black  eval=987  lazy=900  wMat=900  bMat=0");
    // Stopped in the middle of a search, it cannot keep quit waiting.
    e->send("go infinite");
    e->expectLine("start thinkAndMakeBestMove");
    kill(controller, SIGSTOP);
    e.quit(2000ms);
    // The front end killed before its processes attached leaves nothing.
    Engine k("pref:MAXPROCESSES=1\npref:size-hashtable=1\n");
    controller = buildAndStopController(k, "xboard");
    ASSERT_GT(controller, 0);
    ASSERT_GT(searchProcessIn(k.dir.path(), 1), 0);
    k->killFrontEnd();
    EXPECT_EQ(k->waitExit(), 128 + SIGKILL);
    kill(controller, SIGCONT);
    expectNothingLeft(k.dir.path(), k->pid());
}

TEST(Processes, DeadControllerIsReportedRestartedAndTheSearchAnswered) {
    for (const auto& [uci, signal] :
         {std::pair{true, SIGKILL}, {true, SIGTERM}, {false, SIGKILL}}) {
        SCOPED_TRACE(std::string(uci ? "uci " : "xboard ") + strsignal(signal));
        Engine e("pref:MAXPROCESSES=1\npref:size-hashtable=1\npref:enable_BOOK=0\n");
        const std::string notice = std::string(uci ? "info string " : "") +
                                   "Search process 0 ended; starting the search processes again.";
        const std::string answer = uci ? "bestmove " : "move ";
        uci ? e.uci({"setoption name OwnBook value false"}) : e.xboard();
        e.send(uci ? Lines{"position startpos", "go movetime 800"} : Lines{"new", "st 1", "go"});
        e->expectPrefix("===========time next move");
        pid_t first = searchProcessIn(e.dir.path(), 0);
        // Killed in the middle of a search: noticed at once, and the search
        // answered once by the new controller.
        kill(first, signal);
        e->expectLine(notice, 1000ms);
        e->expectPrefix(answer);
        EXPECT_FALSE(e->waitForPrefix(answer, 300ms)) << "a second answer";
        // Killed while idle: the next search is answered as well.
        pid_t second = searchProcessIn(e.dir.path(), 0);
        EXPECT_NE(second, first);
        kill(second, signal);
        e->expectLine(notice, 3000ms);
        e.send(uci ? Lines{"go depth 2"} : Lines{"force", "sd 2", "go"});
        e->expectPrefix(answer);
        e.quit();
    }
}

// In a 20 MB "/dev/shm" the 64 MB table and its 32 MB evaluation hash are
// halved until they fit, and take their memory at once; under 1 MB the
// engine cannot start and says why. Tablebases: the start-up lines come once
// per engine, and a broken table file ends the search processes while quit
// still works.
TEST(Processes, TablesThatDoNotFitAndTablebaseFiles) {
    Engine e({}, 20L << 20);
    EXPECT_EQ(withPrefix(e.uci({"setoption name Hash value 64"}), "info string"),
              (Lines{"info string Could not get 32 MB for sharedEvalHashtable, using 16 MB.",
                     "info string Could not get 64 MB for sharedHashtable, using 16 MB."}));
    auto reserved = [&] {
        std::uint64_t bytes = 0;
        struct stat st;
        for (const std::string& name : sharedObjectsOf(e->pid()))
            if (name.find("Hashtable") != std::string::npos &&
                stat(("/dev/shm/" + name).c_str(), &st) == 0)
                bytes += static_cast<std::uint64_t>(st.st_blocks) * 512;
        return bytes;
    };
    EXPECT_TRUE(waitUntil([&] { return reserved() == 32u << 20; }, 3s)) << reserved();
    e.until({"position startpos", "go depth 3"}, "bestmove");
    e.quit();
    Engine small({}, 512L << 10);
    small->send("xboard");
    small->expectLine("ERROR! Could not create file mapping object sharedEvalHashtable.");
    EXPECT_EQ(small->waitExit(5000ms), 1);
    expectNothingLeft(small.dir.path(), small->pid());
    Engine t(Files{{"tarvok init.ini", "pref:MAXPROCESSES=2\npref:NalimovCache=2\npref:egtb-path="
                                       "/nonexistent;.\n"},
                   {"kbk.nbw", std::string(27243, '\0')}, // the tables' lengths: all draws
                   {"knkp.nbb", std::string(4981504, '\0')}});
    t.xboard();
    t->drain(500ms);
    EXPECT_EQ(withPrefix(t->transcript(), "Egtb"),
              (Lines{"Egtbs initializated(4)", "Egtb cache size 2M"}));
    t.quit();
    // One search process: a second would print its own line meanwhile.
    Engine broken(Files{{"tarvok init.ini", "pref:MAXPROCESSES=0\npref:egtb-path=\n"},
                        {"krk.nbw.emd", std::string(60, 'x')}}); // the current directory's table
    broken->send("xboard");
    broken->expectLine("*** Unable to read krk.nbw.emd - read error", 10000ms);
    // Its search process ended there: no move could ever come, so the
    // engine ends too, at once and without leftovers.
    broken->expectLine("Search process 0 ended before it started working.", 5000ms);
    broken->expectLine("The engine cannot search without it and ends.", 1000ms);
    EXPECT_EQ(broken->waitExit(5000ms), 1);
    expectNothingLeft(broken.dir.path(), broken->pid());
}

const char* const kMiddleGame = "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12";

// Runnable counts whether or not a processor is free, so the samples hold on
// a loaded machine too. Hand-overs make both runnable for a moment; a slave
// searching beside the driver, or a wait that spins, makes it a third of the
// time or more.
TEST(Processes, WithOneSlaveNoMoreThanOneProcessSearchesAtOnce) {
    Engine e;
    e.uci({"setoption name number_of_processors value 1"});
    expectProcessesIn(e.dir.path(), 3);
    e.send({std::string("position fen ") + kMiddleGame, "go movetime 2500"});
    const pid_t procs[] = {searchProcessIn(e.dir.path(), 0), searchProcessIn(e.dir.path(), 1)};
    int samples = 0, both = 0;
    for (const auto end = Clock::now() + 2300ms; Clock::now() < end; ++samples) {
        int running = 0;
        for (pid_t p : procs) running += statFields(p)[0] == "R";
        both += running >= 2;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_LE(both * 5, samples) << both << " of " << samples << " samples had both runnable";
    e->expectPrefix("bestmove ", 10000ms);
    e.quit();
}

TEST(Processes, ASlaveKilledMidSearchIsReportedAndAKilledFrontEndLeavesNothing) {
    Engine e;
    e.uci({"setoption name number_of_processors value 2"});
    expectProcessesIn(e.dir.path(), 4);
    e.send({std::string("position fen ") + kMiddleGame, "go infinite"});
    e->expectPrefix("info depth 8", 20000ms);
    // A slave that is runnable, i.e. searches a part of a block.
    int number = 0;
    for (int i = 0; i < 3000 && number == 0; ++i, std::this_thread::sleep_for(1ms))
        for (int n : {1, 2})
            if (statFields(searchProcessIn(e.dir.path(), n, 0ms))[0] == "R") number = n;
    ASSERT_GT(number, 0) << "no slave was searching";
    kill(searchProcessIn(e.dir.path(), number, 0ms), SIGKILL);
    e->expectLine("info string search process " + std::to_string(number) + " died", 8000ms);
    e->send("stop");
    e->expectPrefix("bestmove ", 8000ms);
    // The next search runs with the slave that is left.
    e.until({"go depth 9"}, "bestmove ", 30000ms);
    EXPECT_EQ(withPrefix(e->transcript(), "Timeout sbNum"), Lines{});
    EXPECT_EQ(withPrefix(e->transcript(), "ERROR"), Lines{});
    // The front end killed in the middle of a split leaves nothing behind.
    e.until({"go infinite"}, "info depth 9", 20000ms);
    e->killFrontEnd();
    EXPECT_EQ(e->waitExit(), 128 + SIGKILL);
    expectNothingLeft(e.dir.path(), e->pid());
}

} // namespace
