// The search's signature: every row of tests/data/signature.txt (a fixed
// position searched to a fixed depth with fresh tables) must give the move,
// score and node count recorded there. Any change to a rule of the search
// moves some row, so changing the search means rewriting the table on purpose.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> readLines(std::FILE* in) {
    std::vector<std::string> lines;
    std::string line;
    for (int c; (c = std::fgetc(in)) != EOF;) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

TEST(SearchSignature, EveryRowAndTheSum) {
    const std::string table = TARVOK_DATA_DIR "/signature.txt";
    std::ifstream file(table);
    std::vector<std::string> expected;
    for (std::string line; std::getline(file, line);) expected.push_back(line);
    ASSERT_GT(expected.size(), 20u) << table;

    // The tool runs each row as `tarvok-dev search` would; `timeout` ends it
    // if a fault makes a search run away.
    const std::string command =
        "timeout 60 " TARVOK_BINARY_DIR "/tarvok-dev signature '" + table + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> actual = readLines(pipe);
    int status = pclose(pipe);
    EXPECT_EQ(status, 0) << command << " (124: timed out after 60 s)";

    ASSERT_EQ(actual.size(), expected.size()) << "tarvok-dev signature printed fewer rows";
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(actual[i], expected[i]) << "row " << i + 1 << " of " << table;
}

} // namespace
