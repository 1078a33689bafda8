// Helpers of the tablebase tests: a scratch directory with table files,
// children whose standard output is captured, index functions that record
// what the probe handed them, and a registry that is put back afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "egtb/tables.h"

using Bytes = std::vector<std::uint8_t>;

class TableDir {
  public:
    TableDir();
    ~TableDir();
    TableDir(const TableDir&) = delete;
    TableDir& operator=(const TableDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes the bytes under name (sub-directories are created).
    void write(const std::string& name, const Bytes& bytes) const;
    // Makes a sparse file of the given size.
    void sparse(const std::string& name, std::uint64_t size) const;

  private:
    std::string path_;
};

// Runs body in a forked child with standard output captured; the child's
// exit status (-1 if it did not end within the time-out) and its output.
struct ChildResult {
    int status;
    std::string output;
};
template <class Body> ChildResult runInChild(Body body, int timeoutMs = 5000);
ChildResult runChildFunction(void (*body)(void*), void* arg, int timeoutMs);
template <class Body> ChildResult runInChild(Body body, int timeoutMs) {
    return runChildFunction([](void* b) { (*static_cast<Body*>(b))(); }, &body, timeoutMs);
}

// Deterministic bytes.
Bytes randomBytes(std::size_t size, std::uint32_t seed);

// A compressed file's header size (big-endian at byte 64), and its CRC (the
// header's last four bytes) made to fit the header again.
std::uint32_t emdInfoSize(const Bytes& file);
void refreshEmdCrc(Bytes& file);

// What the last recording index function was given.
struct IndexCall {
    int calls = 0;
    PieceSet first{}, second{};
    int ep = 0, invert = 0;
};
extern IndexCall lastIndexCall;
extern std::uint32_t nextIndex; // what the recording functions return
std::uint32_t recordingIndex(const PieceSet& first, const PieceSet& second, int ep, int invert);

// Installs the recording index function on tables, forgets every registration
// and puts back the index functions and lengths at the end of the scope;
// meanwhile only kpk, knk, kpkp, kqkq, kppkp and kqqkqq check their files'
// lengths.
class RegistryScope {
  public:
    explicit RegistryScope(std::vector<int> tables = {});
    ~RegistryScope();
    RegistryScope(const RegistryScope&) = delete;
    RegistryScope& operator=(const RegistryScope&) = delete;

  private:
    std::vector<int> tables_;
    std::uint32_t known_[TABLE_COUNT][2];
    IndexFn fns_[TABLE_COUNT][2];
};
