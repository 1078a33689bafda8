// Helpers of the tablebase tests: a scratch directory of table files, a child
// process whose standard output is captured, positions probed, and a registry
// that is put back afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/board.h"
#include "egtb/tables.h"

using Bytes = std::vector<std::uint8_t>;

class TableDir {
  public:
    TableDir();
    ~TableDir();
    TableDir(const TableDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes bytes under name (sub-directories are created), made sparse up
    // to size when that is longer.
    void write(const std::string& name, const Bytes& bytes, std::uint64_t size = 0) const;

  private:
    std::string path_;
};

// Runs body in a forked child with standard output captured: its exit status
// (-1 when it did not end within the time-out) and its output.
struct ChildResult {
    int status;
    std::string output;
};
ChildResult runInChild(const std::function<void()>& body, int timeoutMs = 5000);

Bytes randomBytes(std::size_t size, std::uint32_t seed);

// A compressed file's header size (big-endian at byte 64), and its CRC (the
// header's last four bytes) made to fit the header again.
std::uint32_t emdInfoSize(const Bytes& file);
void refreshEmdCrc(Bytes& file);

Board boardOf(const std::string& fen);
// The prober's score of the position, or "none".
std::string probe(const std::string& fen);

// Puts back the index functions and lengths at the end of the scope and
// forgets every registration then; meanwhile only kpk, knk, kpkp, kqkq, kppkp
// and kqqkqq check their files' lengths, so hand-made files of any size
// register.
class RegistryScope {
  public:
    RegistryScope();
    ~RegistryScope();
    RegistryScope(const RegistryScope&) = delete;

  private:
    std::uint32_t known_[TABLE_COUNT][2];
    IndexFn fns_[TABLE_COUNT][2];
};
