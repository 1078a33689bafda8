// Helpers of the tablebase tests.
#pragma once

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "board/tables.h"
#include "egtb/egtb.h"
#include "egtb/emd.h"
#include "egtb/index.h"

using Bytes = std::vector<std::uint8_t>;

class TableDir {
  public:
    TableDir() : path_(mkdtemp(std::string("/tmp/tarvok-egtb-XXXXXX").data())) {}
    ~TableDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TableDir(const TableDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes bytes under name (sub-directories are created), made sparse up
    // to size when that is longer.
    void write(const std::string& name, const Bytes& bytes, std::uint64_t size = 0) const {
        std::filesystem::path p = file(name);
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        if (size > bytes.size()) std::filesystem::resize_file(p, size);
    }

  private:
    std::string path_;
};

// Runs body in a forked child with standard output captured: its exit status
// (-1 when it did not end within the time-out) and its output.
struct ChildResult {
    int status;
    std::string output;
};
inline ChildResult runInChild(const std::function<void()>& body, int timeoutMs = 5000) {
    char name[] = "/tmp/tarvok-egtb-child-XXXXXX";
    int out = mkstemp(name);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, 1);
        body();
        std::fflush(nullptr);
        _exit(0);
    }
    ChildResult result{-1, ""};
    int status = 0;
    for (int waited = 0; waited <= timeoutMs && result.status < 0; waited += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        else
            usleep(10000);
    }
    if (result.status < 0) kill(pid, SIGKILL), waitpid(pid, &status, 0);
    std::ifstream in(name);
    result.output.assign(std::istreambuf_iterator<char>(in), {});
    if (result.status < 0) result.output += "\n(child did not end in time)";
    close(out);
    unlink(name);
    return result;
}

inline Bytes randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

// A compressed file's header size (big-endian at byte 64), and its CRC (the
// header's last four bytes) made to fit the header again.
inline std::uint32_t emdInfoSize(const Bytes& f) {
    return std::uint32_t{f[64]} << 24 | f[65] << 16 | f[66] << 8 | f[67];
}
inline void refreshEmdCrc(Bytes& f) {
    const std::uint32_t s = emdInfoSize(f), crc = emdCrc(f.data(), s - 4);
    for (int i = 0; i < 4; ++i) f[s - 4 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

inline Board boardOf(const std::string& fen) {
    Board b;
    initBoardTables(nullptr, b);
    setFromFen(b, fen.c_str());
    return b;
}
// The prober's score of the position, or "none".
inline std::string probe(const std::string& fen) {
    int score = 0;
    return probeEgtb(boardOf(fen), score) ? std::to_string(score) : "none";
}

// Puts back the index functions and lengths at the end of the scope (and
// forgets every registration); meanwhile hand-made files of any size register,
// but for kpk, knk, kpkp, kqkq, kppkp and kqqkqq.
class RegistryScope {
  public:
    RegistryScope() {
        initIndexFunctions();
        for (int id = 0; id < TABLE_COUNT; ++id) {
            TableDesc& t = tableRegistry[id];
            std::memcpy(known_[id], t.knownLength, sizeof known_[id]);
            std::memcpy(fns_[id], t.indexFn, sizeof fns_[id]);
            bool checked = false;
            for (const char* c : {"kpk", "knk", "kpkp", "kqkq", "kppkp", "kqqkqq"})
                checked = checked || std::strcmp(t.name, c) == 0;
            if (!checked) t.knownLength[0] = t.knownLength[1] = 0;
        }
    }
    ~RegistryScope() {
        for (int id = 0; id < TABLE_COUNT; ++id) {
            std::memcpy(tableRegistry[id].knownLength, known_[id], sizeof known_[id]);
            std::memcpy(tableRegistry[id].indexFn, fns_[id], sizeof fns_[id]);
        }
        initEgtb("/nonexistent-tarvok-dir", 0, true);
    }
    RegistryScope(const RegistryScope&) = delete;

  private:
    std::uint32_t known_[TABLE_COUNT][2];
    IndexFn fns_[TABLE_COUNT][2];
};
