// The search's signature: every row of tests/data/signature.txt (a fixed
// position searched to a fixed depth with fresh tables) must give the move,
// score and node count recorded there, and the last line their sum. Any
// change to a rule of the search moves some row, so changing the search
// means rewriting the table on purpose.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

TEST(SearchSignature, EveryRowAndTheSum) {
    const std::string table = TARVOK_DATA_DIR "/signature.txt";
    std::ifstream file(table);
    const std::string expected{std::istreambuf_iterator<char>(file), {}};
    ASSERT_GT(expected.size(), 1000u) << table;
    // `timeout` ends the tool if a fault makes a search run away.
    const std::string command =
        "timeout 60 " TARVOK_BINARY_DIR "/tarvok-dev signature '" + table + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string actual;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) actual.append(buf, n);
    EXPECT_EQ(pclose(pipe), 0) << command << " (124: timed out after 60 s)";
    EXPECT_EQ(actual, expected);
}
