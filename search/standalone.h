// A whole search in ordinary memory for one process that is not part of an
// engine instance: the developer tool, the tests and the benchmarks. It owns a
// private SharedState, transposition table and evaluation hash, and runs the
// search without named locks.
#pragma once

#include <cstdint>
#include <memory>

#include "eval/evalhash.h"
#include "search/root.h"
#include "search/search_context.h"

class StandaloneSearch {
  public:
    // Builds the board and evaluation tables of the process (they are
    // process-wide: the most recently built environment is the one that move
    // generation and evaluation use) and sets the shared defaults.
    explicit StandaloneSearch(std::uint64_t ttEntries = TranspositionTable::DEFAULT_ENTRIES,
                              std::uint64_t evalEntries = EvalHash::DEFAULT_ENTRIES);
    ~StandaloneSearch();
    StandaloneSearch(const StandaloneSearch&) = delete;
    StandaloneSearch& operator=(const StandaloneSearch&) = delete;

    SharedState& shared() { return *shared_; }
    SearchContext& context() { return *context_; }
    Board& board() { return board_; }
    EvalHash& evalHash() { return evalHash_; }

    // Sets the position (and resets the process's repetition ring to it).
    void setPosition(const char* fen);
    // Plays a move of the game on the board (recording it for repetitions).
    void play(Move move);
    // Empties the transposition table, the evaluation hash, history, killers
    // and the evaluation's last positional estimate, so that a search starts
    // from nothing carried over.
    void clearTables();
    // Arms timer1 with the limit and runs the root search on a copy of the board.
    Move search(int limitMs, RootReport* report = nullptr);

  private:
    std::unique_ptr<SharedState> shared_;
    std::unique_ptr<SearchContext> context_;
    std::unique_ptr<TTEntry[]> ttMemory_;
    std::unique_ptr<U64[]> evalMemory_;
    EvalHash evalHash_;
    Board board_;
};
