// What the developer tools (the EPD runner, the tuner) share: the search
// process they run in, its settings saved and put back however a run ends,
// one search of a position, and their text files.
#pragma once

#include <cstdio>

#include "board/board.h"
#include "eval/evalhash.h"
#include "search/root.h"
#include "search/search_context.h"

// The process a tool runs in: its search context (shared state, tables) and
// evaluation hash, and the board the tool sets its positions on.
struct ToolSearch {
    SearchContext& context;
    EvalHash& evalHash;
    Board& board;

    SharedState& shared() { return *context.pShared; }
    // True once the front end has switched the task off.
    bool stopped() const;
    // Empties the transposition table and the evaluation hash.
    void clearTables();
    // Sets the board from a FEN text the search can play from, with
    // gameStartPly at its ply. A refused text leaves the board as it was;
    // with report it is printed after "Error (illegal position): ".
    bool setPosition(const char* fen, bool report = true);
    // A root search of the board to depth (at most 63) within limitMs, without
    // thinking lines and on this process alone: the tuner changes the weights
    // of this process only, so no other process may search its positions.
    Move search(int depth, int limitMs, RootReport* report = nullptr);
};

// Keeps maxDepth, postThinking and gameStartPly as a tool found them and puts
// them back when the run ends, however it ends.
class SavedToolSettings {
  public:
    explicit SavedToolSettings(SharedState& shared);
    ~SavedToolSettings();
    SavedToolSettings(const SavedToolSettings&) = delete;
    SavedToolSettings& operator=(const SavedToolSettings&) = delete;

  private:
    SharedState& shared_;
    std::int32_t maxDepth_;
    std::int32_t postThinking_;
    std::int32_t gameStartPly_;
};

// The file the tools append their results to.
inline constexpr const char* TOOL_SETTINGS_FILE = "!output_settings.txt";

// At most this many characters of a line are read; the rest is discarded.
inline constexpr int TOOL_LINE_SIZE = 1000;

// A text file a tool reads line by line. Only a regular file is opened (a
// FIFO in its place would block the tool).
class ToolInput {
  public:
    explicit ToolInput(const char* path);
    ~ToolInput();
    ToolInput(const ToolInput&) = delete;
    ToolInput& operator=(const ToolInput&) = delete;
    bool isOpen() const { return file_ != nullptr; }
    // The next line without its line end (at most 999 characters; the rest
    // of a longer line is read and dropped); nullptr at the end.
    const char* nextLine();

  private:
    std::FILE* file_ = nullptr;
    char line_[TOOL_LINE_SIZE];
};

// A text file a tool appends to, opened at once: when it cannot be (or it is
// no regular file) "Cannot write " and its name are printed.
class ToolOutput {
  public:
    explicit ToolOutput(const char* path);
    ~ToolOutput();
    ToolOutput(const ToolOutput&) = delete;
    ToolOutput& operator=(const ToolOutput&) = delete;
    bool isOpen() const { return file_ != nullptr; }
    void append(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // "%d, " for each of the 80 tuned parameters.
    void appendParameters();

  private:
    std::FILE* file_ = nullptr;
};

// True for a line of blanks only.
bool isBlankLine(const char* line);
