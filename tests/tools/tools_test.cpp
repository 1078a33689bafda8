// The developer tools, run in this test process on a private search with a
// clock that stands still, in a scratch working directory: the EPD runner's
// verdicts and counts, the tuner's error and run, and the files they write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "eval/params.h"
#include "search/standalone.h"
#include "search/timecontrol.h"
#include "tools/epd_runner.h"
#include "tools/tuner.h"

namespace {

const char* const ONE_MOVE = "7k/R7/8/p7/8/8/8/K5R1 b - - bm a4;\n"; // a5-a4 is the only move
const char* const FENS[] = {
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -",
    "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - -",
    "r2qr1k1/p1pbbppp/2p5/3n4/Q3N3/3B4/PPP2PPP/R1B1R1K1 w - -",
};

// The front end switches the task off at the given reading of the clock,
// which otherwise stands still.
void stopAfter(int clockReadings, SharedState& shared) {
    static SharedState* target;
    static int readings, stopAt;
    target = &shared;
    readings = 0;
    stopAt = clockReadings;
    setTimeSource([] {
        if (++readings == stopAt)
            sharedStore(target->allSearchprocesEnabled, std::int32_t{TASK_STOP});
        return std::int32_t{5000};
    });
}

class Tools : public ::testing::Test {
  protected:
    Tools() : env(1 << 16, 1 << 16), tool{env.context(), env.evalHash(), env.board()} {
        setTimeSource([] { return std::int32_t{5000}; });
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        env.shared().maxDepth = 35;
        env.shared().postThinking = 1;
        env.shared().gameStartPly = 7;
    }
    ~Tools() override {
        setTimeSource(nullptr);
        eval::resetEvaluationParameters();
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
    }
    static void write(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }
    // The file's text; it is removed, so that the next run writes it afresh.
    static std::string take(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::string text{std::istreambuf_iterator<char>(in), {}};
        std::filesystem::remove(name);
        return text;
    }
    // What f printed; the tool must leave the settings as it found them.
    template <class F> std::string printed(F f) {
        testing::internal::CaptureStdout();
        f();
        EXPECT_EQ(
            std::tuple(env.shared().maxDepth, env.shared().postThinking, env.shared().gameStartPly),
            std::tuple(35, 1, 7));
        return testing::internal::GetCapturedStdout();
    }
    std::string epd(int ms) {
        return printed([&] { runEpdSuite(tool, ms); });
    }
    static std::string params() {
        std::string s = "params= ";
        for (const eval::TunedParameter& p : eval::tunedParameters)
            s += std::to_string(*p.value) + ", ";
        return s;
    }

    StandaloneSearch env;
    ToolSearch tool;
    const std::filesystem::path old = std::filesystem::current_path();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarvok-tools-" + std::to_string(getpid()));
};

TEST_F(Tools, EpdVerdictsMissesAndBadInput) {
    EXPECT_EQ(epd(1000), "ERROR: No epd-file found!\n");
    EXPECT_FALSE(std::filesystem::exists(TOOL_SETTINGS_FILE));
    EXPECT_FALSE(std::filesystem::exists(EPD_INCORRECT_FILE));
    write(EPD_SUITE_FILE, "");
    EXPECT_EQ(epd(1000), " percentageCorrect=-1.000000\n");
    EXPECT_EQ(take(TOOL_SETTINGS_FILE), "percentageCorrect=-1.000000, ");

    // Misses, appended unchanged: a refused FEN, no "bm", a SAN naming no
    // legal move, a wrong "bm". Skipped: a blank line. Found: mates, any of
    // two "bm" moves, a double push (the only legal move, blocking a check),
    // and a line far too long (its tail would be a position of its own).
    const std::string misses = "8/8/8/8/8/8/8/8 w - - bm e4;\n"
                               "7k/R7/8/p7/8/8/8/K5R1 b - - id \"x\";\n"
                               "7k/R7/8/p7/8/8/8/K5R1 b - - bm Qh5;\n" +
                               std::string(FENS[0]) + " bm Qh4; id \"WAC.001\";\n";
    const std::string one = ONE_MOVE;
    write(EPD_SUITE_FILE,
          misses + "  \n" + FENS[0] + " bm Qg6;\n" +
              "r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - bm Qxh7+;\n" +
              "5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - - bm Qc4+;\n" + FENS[0] +
              " bm Qh4 Qg6; am Qh3;\n" + "1k3r1r/b7/8/8/8/8/3P4/4n1K1 w - - bm d4;\n" +
              one.substr(0, one.size() - 1) + std::string(1100 - one.size(), ' ') + one);
    EXPECT_EQ(epd(20000),
              "Error (illegal position): 8/8/8/8/8/8/8/8 w - -\n"
              "ERROR: epd no bestmove found!\nERROR: epd no bestmove found!\n"
              "DIFFERENT: g3h4 g3g6\n"
              "EQUAL\nEQUAL\nEQUAL\nEQUAL\nEQUAL\nEQUAL\n percentageCorrect=60.000000\n");
    EXPECT_EQ(take(EPD_INCORRECT_FILE), misses);
    EXPECT_EQ(take(TOOL_SETTINGS_FILE), "percentageCorrect=60.000000, SUIT_0=6/10\nSUIT_1=6/10\n");

    // A stop during the second search writes the summary of what was done
    // before it; an output that cannot be written stops the run.
    const std::string found = std::string(FENS[0]) + " bm Qg6;\n";
    write(EPD_SUITE_FILE, found + found + found);
    stopAfter(6000, env.shared());
    EXPECT_EQ(epd(20000), "EQUAL\n percentageCorrect=100.000000\n");
    EXPECT_EQ(take(TOOL_SETTINGS_FILE), "percentageCorrect=100.000000, SUIT_0=1/1\nSUIT_1=1/1\n");
    std::filesystem::create_directory(TOOL_SETTINGS_FILE);
    EXPECT_EQ(epd(1000), "Cannot write !output_settings.txt\n");
}

TEST_F(Tools, TunerTargetsAndTheError) {
    EXPECT_EQ(
        std::vector({scoreLineTarget("+2000"), scoreLineTarget("-2000"), scoreLineTarget("+35.9"),
                     scoreLineTarget("-35.9"), scoreLineTarget("-99999999999")}),
        std::vector({1600, -1600, 35, -35, -1600}));

    EXPECT_EQ(printed([&] { tuneParameters(tool, 1); }), "No !finalResults.txt file found.\n");
    write(SCORE_FILE, "+10\n8/8/8/8/8/8/8/8 w - -\n+20\n");
    EXPECT_EQ(
        printed([&] { scanDepths(tool, 2); }),
        "Error (illegal position): 8/8/8/8/8/8/8/8 w - -\nNo score line in !finalResults.txt.\n");
    EXPECT_FALSE(std::filesystem::exists(TOOL_SETTINGS_FILE));

    // A score line before any FEN, after a refused one, or of a position with
    // one legal move is skipped. The error is the root of the integer mean
    // of the squared misses.
    write(SCORE_FILE, std::string("+5\n") + FENS[0] + "\n+0\n\n" + FENS[1] + "\n-0\n" +
                          "8/8/8/8/8/8/8/8 w - -\n+100\n7k/R7/8/p7/8/8/8/K5R1 b - -\n+100\n" +
                          "4k3/8/8/8/8/8/8/QQQ1K3 w - -\n+1600\n"); // 3002 counts as 1600
    Measurement m = measureError(tool, 1);
    EXPECT_TRUE(m.status == MeasureStatus::Done && m.count == 3) << m.count;
    EXPECT_DOUBLE_EQ(m.error, std::sqrt(4785.0)); // depth 1: (119 * 119 + 14 * 14 + 0) / 3
}

TEST_F(Tools, TunerDepthOneRun) {
    write(SCORE_FILE,
          std::string(FENS[0]) + "\n+150\n" + FENS[1] + "\n-40\n" + FENS[2] + "\n+90\n");
    const std::string out = printed([&] { tuneParameters(tool, 1); });
    EXPECT_EQ(out.substr(0, out.find("\nparam=1;")),
              "\nparam=0; paramValue=0; baseScore=159.837417\n"
              "param=0; paramValue=-1; lowScore= 159.837417\n"
              "param=0; paramValue=1; highScore=159.837417\n"
              "remaining value=0\n");
    // Two passes of rounds; the weights stay as tuned.
    const std::string rounds = take(TOOL_SETTINGS_FILE);
    EXPECT_EQ(std::count(rounds.begin(), rounds.end(), '\n'), 53);
    EXPECT_EQ(rounds.substr(0, rounds.find("params= ")), "Round 0: startScore=159.837417, ");
    EXPECT_EQ(rounds.substr(rounds.rfind("\nRound")),
              "\nRound19: startScore=2.236068, " + params() + "\n");
}

TEST_F(Tools, ATunerStopPutsTheTrialValueBack) {
    write(SCORE_FILE, std::string(FENS[0]) + "\n+10\n" + FENS[1] + "\n-20\n");
    stopAfter(20000, env.shared());
    const std::string out = printed([&] { tuneParameters(tool, 3); });
    // Stopped while trying a new value of parameter 44: it is 13 again.
    EXPECT_EQ(out.substr(out.rfind("\nparam=")),
              "\nparam=44; paramValue=13; baseScore=30.479501\n");
    EXPECT_EQ(*eval::tunedParameters[44].value, 13);
    const std::string all = take(TOOL_SETTINGS_FILE);
    EXPECT_EQ(all.substr(all.rfind("\nStopped: ") + 1),
              "Stopped: startScore=30.479501, " + params() + "\n");
}

} // namespace
