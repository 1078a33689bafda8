#include "egtb_support.h"

#include "egtb/index.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "egtb/cache.h"
#include "egtb/egtb.h"
#include "egtb/emd.h"

TableDir::TableDir() {
    char tmpl[] = "/tmp/tarvok-egtb-XXXXXX";
    path_ = mkdtemp(tmpl);
}

TableDir::~TableDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TableDir::write(const std::string& name, const Bytes& bytes) const {
    std::filesystem::path p = file(name);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

void TableDir::sparse(const std::string& name, std::uint64_t size) const {
    std::filesystem::path p = file(name);
    std::filesystem::create_directories(p.parent_path());
    { std::ofstream create(p); }
    std::filesystem::resize_file(p, size);
}

ChildResult runChildFunction(void (*body)(void*), void* arg, int timeoutMs) {
    char name[] = "/tmp/tarvok-egtb-child-XXXXXX";
    int out = mkstemp(name);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, 1);
        body(arg);
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
    if (result.status < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    std::ifstream in(name);
    result.output.assign(std::istreambuf_iterator<char>(in), {});
    if (result.status < 0) result.output += "\n(child did not end in time)";
    close(out);
    unlink(name);
    return result;
}

Bytes randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

std::uint32_t emdInfoSize(const Bytes& f) {
    return std::uint32_t{f[64]} << 24 | f[65] << 16 | f[66] << 8 | f[67];
}

void refreshEmdCrc(Bytes& f) {
    const std::uint32_t s = emdInfoSize(f), crc = emdCrc(f.data(), s - 4);
    for (int i = 0; i < 4; ++i) f[s - 4 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

IndexCall lastIndexCall;
std::uint32_t nextIndex = 0;

std::uint32_t recordingIndex(const PieceSet& first, const PieceSet& second, int ep, int invert) {
    ++lastIndexCall.calls;
    lastIndexCall.first = first;
    lastIndexCall.second = second;
    lastIndexCall.ep = ep;
    lastIndexCall.invert = invert;
    return nextIndex;
}

RegistryScope::RegistryScope(std::vector<int> tables) : tables_(std::move(tables)) {
    initIndexFunctions();
    for (int id = 0; id < TABLE_COUNT; ++id)
        for (int s = 0; s < 2; ++s) {
            known_[id][s] = tableRegistry[id].knownLength[s];
            fns_[id][s] = tableRegistry[id].indexFn[s];
        }
    // Hand-made files of any size for every table but the six whose lengths
    // the registration tests check.
    for (int id = 1; id < TABLE_COUNT; ++id) {
        const char* n = tableRegistry[id].name;
        bool checked = false;
        for (const char* c : {"kpk", "knk", "kpkp", "kqkq", "kppkp", "kqqkqq"})
            checked = checked || std::strcmp(n, c) == 0;
        if (!checked) tableRegistry[id].knownLength[0] = tableRegistry[id].knownLength[1] = 0;
    }
    for (int id : tables_)
        tableRegistry[id].indexFn[0] = tableRegistry[id].indexFn[1] = recordingIndex;
    lastIndexCall = IndexCall{};
    nextIndex = 0;
}

RegistryScope::~RegistryScope() {
    for (int id = 0; id < TABLE_COUNT; ++id)
        for (int s = 0; s < 2; ++s) {
            tableRegistry[id].knownLength[s] = known_[id][s];
            tableRegistry[id].indexFn[s] = fns_[id][s];
        }
    initEgtb("/nonexistent-tarvok-dir", 0, true);
}
