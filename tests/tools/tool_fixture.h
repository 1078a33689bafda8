// The developer tools run in this test process: a private search, a scratch
// working directory for their files, and their printed lines captured.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "eval/params.h"
#include "search/standalone.h"
#include "tools/tool_search.h"

class ToolTest : public ::testing::Test {
  protected:
    ToolTest() : env(1 << 16, 1 << 16), tool{env.context(), env.evalHash(), env.board()} {
        char tmpl[] = "/tmp/tarvok-tools-XXXXXX";
        dir = mkdtemp(tmpl);
        old = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        env.shared().maxDepth = 35;
        env.shared().postThinking = 1;
        env.shared().gameStartPly = 7;
    }
    ~ToolTest() override {
        eval::resetEvaluationParameters();
        std::filesystem::current_path(old);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    static void write(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }
    static std::string read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static bool exists(const std::string& name) { return std::filesystem::exists(name); }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    }
    // Runs f with standard output captured; returns what it printed.
    template <class F> static std::string printed(F f) {
        testing::internal::CaptureStdout();
        f();
        return testing::internal::GetCapturedStdout();
    }
    // The settings the tools must leave as they found them.
    void expectSettingsKept() {
        EXPECT_EQ(env.shared().maxDepth, 35);
        EXPECT_EQ(env.shared().postThinking, 1);
        EXPECT_EQ(env.shared().gameStartPly, 7);
    }

    StandaloneSearch env;
    ToolSearch tool;
    std::string dir;
    std::filesystem::path old;
};
