// The tuner: the error measure and its targets, a whole depth-1 tuning run
// and the depth scan, with the files they append to.
#include <chrono>
#include <cmath>
#include <regex>
#include <thread>

#include "tests/tools/tool_fixture.h"
#include "tools/tuner.h"

namespace {

const char* const POSITIONS[] = {
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12",
    "r2qr1k1/p1pbbppp/2p5/3n4/Q3N3/3B4/PPP2PPP/R1B1R1K1 w - - 7 13",
};

class Tuner : public ToolTest {
  protected:
    // The search's own depth-1 score of a position.
    int depthOneScore(const char* fen) {
        env.setPosition(fen);
        env.clearTables();
        env.shared().maxDepth = 1;
        env.shared().postThinking = 0;
        RootReport report;
        env.search(1 << 30, &report);
        env.shared().maxDepth = 35;
        env.shared().postThinking = 1;
        return report.score;
    }
};

TEST_F(Tuner, StepsAndTargets) {
    EXPECT_EQ(tuningStep(0), 1);
    EXPECT_EQ(tuningStep(24), 1);
    EXPECT_EQ(tuningStep(100), 4);
    EXPECT_EQ(tuningStep(-60), 2);
    EXPECT_EQ(scoreLineTarget("+2000"), 1600);
    EXPECT_EQ(scoreLineTarget("-2000"), -1600);
    EXPECT_EQ(scoreLineTarget("+35.9"), 35);
    EXPECT_EQ(scoreLineTarget("-35.9"), -35);
    EXPECT_EQ(scoreLineTarget("-99999999999"), -1600);
}

TEST_F(Tuner, ErrorIsTheRootOfTheIntegerMeanOfSquares) {
    const int a = depthOneScore(POSITIONS[0]);
    const int b = depthOneScore(POSITIONS[1]);
    // Misses by 1 and 2: sum 5, 5 / 2 = 2 in integers.
    write(SCORE_FILE, "+5\n" + std::string(POSITIONS[0]) + "\n" + (a + 1 >= 0 ? "+" : "-") +
                          std::to_string(std::abs(a + 1)) + "\n\n" + POSITIONS[1] + "\n" +
                          (b - 2 >= 0 ? "+" : "-") + std::to_string(std::abs(b - 2)) + "\n" +
                          "8/8/8/8/8/8/8/8 w - -\n+100\n"         // refused: its score line skipped
                          "7k/R7/8/p7/8/8/8/K5R1 b - -\n+100\n"); // one legal move: skipped
    Measurement m = measureError(tool, 1);
    EXPECT_EQ(m.status, MeasureStatus::Done);
    EXPECT_EQ(m.count, 2);
    EXPECT_DOUBLE_EQ(m.error, std::sqrt(2.0));
    expectSettingsKept();
}

TEST_F(Tuner, MissingOrEmptyScoreFileChangesNothing) {
    std::string out = printed([&] { tuneParameters(tool, 1); });
    EXPECT_EQ(out, "No !finalResults.txt file found.\n");
    write(SCORE_FILE, "+10\n8/8/8/8/8/8/8/8 w - -\n+20\n");
    out = printed([&] { scanDepths(tool, 2); });
    EXPECT_EQ(out, "Error (illegal position): 8/8/8/8/8/8/8/8 w - -\n"
                   "No score line in !finalResults.txt.\n");
    EXPECT_FALSE(exists(TOOL_SETTINGS_FILE));
    EXPECT_EQ(*eval::tunedParameters[0].value, 0);
}

TEST_F(Tuner, DepthOneRunOnThreePositions) {
    std::string file;
    const char* const targets[] = {"+150", "-40", "+90"};
    for (int i = 0; i < 3; ++i) file += std::string(POSITIONS[i]) + "\n" + targets[i] + "\n";
    write(SCORE_FILE, file);
    std::string out = printed([&] { tuneParameters(tool, 1); });
    expectSettingsKept();

    // Every printed line in one of the run's formats.
    const std::regex printedLine("|param=\\d+; SKIP; baseScore=\\d+\\.\\d{6}|"
                                 "param=\\d+; paramValue=-?\\d+; baseScore=\\d+\\.\\d{6}|"
                                 "param=\\d+; paramValue=-?\\d+; lowScore= \\d+\\.\\d{6}|"
                                 "param=\\d+; paramValue=-?\\d+; highScore=\\d+\\.\\d{6}|"
                                 "new paramValue=-?\\d+|remaining value=-?\\d+");
    for (const std::string& l : lines(out)) EXPECT_TRUE(std::regex_match(l, printedLine)) << l;

    const std::string values = "params= (-?\\d+, ){80}";
    const std::regex round("Round(\\d+| 0): startScore=(\\d+\\.\\d{6}), " + values);
    std::vector<std::string> all = lines(read(TOOL_SETTINGS_FILE));
    ASSERT_GE(all.size(), 6u);
    EXPECT_TRUE(
        std::regex_match(all[0], std::regex("Round 0: startScore=\\d+\\.\\d{6}, " + values)));
    EXPECT_EQ(all[1], "");
    EXPECT_EQ(all[2], "");
    EXPECT_EQ(all[3], "=== PLY:1 ===");
    EXPECT_TRUE(std::regex_match(all[4], std::regex("baseScore=\\d+\\.\\d{6}")));
    // Two passes: the round numbers start again at 1, and within a pass the
    // score never rises.
    int passes = 0;
    double last = 1e9;
    for (std::size_t i = 5; i < all.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(all[i], m, round)) << all[i];
        if (m[1] == "1") {
            ++passes;
            last = 1e9;
        }
        const double score = std::stod(m[2]);
        EXPECT_LE(score, last) << all[i];
        last = score;
    }
    EXPECT_EQ(passes, 2);
    // The weights stay as tuned: measured again they give the last round's score.
    char expected[32];
    std::snprintf(expected, sizeof expected, "%f", measureError(tool, 1).error);
    EXPECT_NE(all.back().find(std::string("startScore=") + expected + ", "), std::string::npos)
        << all.back();
    std::string params = "params= ";
    for (const eval::TunedParameter& p : eval::tunedParameters)
        params += std::to_string(*p.value) + ", ";
    EXPECT_EQ(all.back().substr(all.back().find("params= ")), params);
}

TEST_F(Tuner, AStopPutsTheTrialValueBack) {
    std::string file;
    for (const char* fen : POSITIONS) file += std::string(fen) + "\n+10\n";
    write(SCORE_FILE, file);
    // The front end switches the task off while the run is under way.
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        sharedStore(env.shared().allSearchprocesEnabled, static_cast<std::int32_t>(TASK_STOP));
    });
    std::string out = printed([&] { tuneParameters(tool, 3); });
    stopper.join();
    expectSettingsKept();
    std::string params = "params= ";
    for (const eval::TunedParameter& p : eval::tunedParameters)
        params += std::to_string(*p.value) + ", ";
    std::vector<std::string> all = lines(read(TOOL_SETTINGS_FILE));
    ASSERT_FALSE(all.empty());
    EXPECT_TRUE(
        std::regex_match(all.back(), std::regex("Stopped: startScore=\\d+\\.\\d{6}, " + params)))
        << all.back();
    // The parameter on trial has the value it had before the trial.
    std::smatch m;
    std::string tail = out;
    std::size_t at = out.rfind("\nparam=");
    ASSERT_NE(at, std::string::npos);
    tail = out.substr(at + 1);
    if (std::regex_search(tail, m, std::regex("^param=(\\d+); paramValue=(-?\\d+); baseScore")) &&
        tail.find("new paramValue") == std::string::npos) {
        EXPECT_EQ(*eval::tunedParameters[std::stoi(m[1])].value, std::stoi(m[2]));
    }
}

TEST_F(Tuner, DepthScanAppendsOneLinePerDepth) {
    write(SCORE_FILE, std::string(POSITIONS[1]) + "\n+10\n-20\n");
    std::string out = printed([&] { scanDepths(tool, 2); });
    const std::regex printedScan("=== PLY:1 ===\nconc=\\d+\\.\\d{6} time=\\d+ \n"
                                 "=== PLY:2 ===\nconc=\\d+\\.\\d{6} time=\\d+ \n");
    EXPECT_TRUE(std::regex_match(out, printedScan)) << out;
    const std::regex appended(
        "\n\nPLY:1 MARGIN=175 \\d+ \\d+\\.\\d{6} \nPLY:2 MARGIN=175 \\d+ \\d+\\.\\d{6} \n");
    EXPECT_TRUE(std::regex_match(read(TOOL_SETTINGS_FILE), appended)) << read(TOOL_SETTINGS_FILE);
    EXPECT_EQ(env.shared().tuningMargin, 175);
    expectSettingsKept();
}

} // namespace
