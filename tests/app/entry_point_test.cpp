// The engine binary's role choice and mode prompt, run as a real process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "app/identity.h"
#include "engine_driver.h"

namespace {

using namespace testing_engine;

struct ProcessResult {
    int status = -1; // exit status, or -1 if it did not end in time
    std::string out, err;
};

// Runs build/tarvok with args, sends input and closes its input; what it
// wrote to each stream (standard error through a file in its directory).
ProcessResult runTarvok(const std::vector<std::string>& args, const std::string& input) {
    ScratchDir dir;
    std::string command = "exec '" + engineBinary() + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    EngineProcess e(dir.path(), {"-c", command + " 2>stderr.txt"}, 0, "/bin/sh");
    if (!input.empty()) e.send(input);
    e.closeInput();
    ProcessResult run;
    run.status = e.waitExit(10000ms).value_or(-1);
    for (const std::string& l : e.drain()) run.out += l + "\n";
    run.err = dir.read("stderr.txt");
    return run;
}

const std::string kGreeting = std::string(engineId) + "\n\nChoose mode: Type xboard or uci\n";

bool binaryExists() {
    return access(engineBinary().c_str(), X_OK) == 0;
}

TEST(EntryPoint, FrontEndPromptsAndChoosesByFirstThreeCharacters) {
    ASSERT_TRUE(binaryExists()) << "build the tarvok target first";
    for (const char* line : {"uci", "ucinewgame", "xboard", "protover 2", "uc"}) {
        ProcessResult r = runTarvok({}, line);
        EXPECT_EQ(r.status, 0) << line;
        ASSERT_EQ(r.out.rfind(kGreeting, 0), 0u) << line << "printed:\n" << r.out;
        const std::string rest = r.out.substr(kGreeting.size());
        const bool uci = std::string(line).rfind("uci", 0) == 0;
        EXPECT_NE(rest.find(uci ? "_UCI\n" : "feature done=0\n"), std::string::npos)
            << line << rest;
        EXPECT_EQ(r.err, "") << line;
    }
    // Two arguments also select the front end; end of input at the prompt ends it.
    ProcessResult two = runTarvok({"1", "2"}, "");
    EXPECT_EQ(two.status, 0);
    EXPECT_EQ(two.out, kGreeting);
}

// Kept on purpose (README): misuse ends with its own exit code, 1 for a
// search process started by hand and 2 for a usage line, where every other
// end exits with 0.
TEST(EntryPoint, OneArgumentIsSearchProcessOrUsage) {
    ASSERT_TRUE(binaryExists()) << "build the tarvok target first";
    // "12" is search process 1; started by hand, outside any engine instance,
    // it says so in one line and ends instead of waiting for a front end.
    ProcessResult search = runTarvok({"12"}, "");
    EXPECT_EQ(search.status, 1);
    EXPECT_EQ(search.out.find("Choose mode"), std::string::npos);
    EXPECT_EQ(search.out + search.err, "Search process 1 runs only when the engine starts it: "
                                       "start tarvok without arguments.\n");

    for (const char* arg : {"--help", "-h", "x", ""}) {
        ProcessResult help = runTarvok({arg}, "");
        EXPECT_EQ(help.status, 2) << arg;
        EXPECT_EQ(help.out, "") << arg;
        ASSERT_FALSE(help.err.empty()) << arg;
        EXPECT_EQ(help.err.find('\n'), help.err.size() - 1) << "one line expected: " << help.err;
    }
}

} // namespace
