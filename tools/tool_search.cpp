#include "tools/tool_search.h"

#include <cstdarg>
#include <cstring>

#include "app/command_args.h"
#include "app/output.h"
#include "app/position_check.h"
#include "board/settings_file.h"
#include "eval/params.h"

bool ToolSearch::stopped() const {
    return sharedLoad(context.pShared->allSearchprocesEnabled) == TASK_STOP;
}

void ToolSearch::clearTables() {
    context.tt.clear();
    evalHash.clear();
}

bool ToolSearch::setPosition(const char* fen, bool report) {
    if (!loadPlayablePosition(board, fen)) {
        if (report) sayIllegalPosition(fen);
        return false;
    }
    shared().gameStartPly = board.gamePly;
    return true;
}

Move ToolSearch::search(int depth, int limitMs, RootReport* report) {
    SharedState& s = shared();
    // Set before every search: an "sd", "level" or "post" of the front end
    // must not change a run half-way.
    sharedStore(s.maxDepth, static_cast<std::int32_t>(clampDepth(depth)));
    sharedStore(s.postThinking, 0);
    s.timer1.setLimit(limitMs);
    s.timer1.start();
    // Alone: every split test reads the process count.
    const std::int32_t processes = sharedLoad(s.numProcesses);
    sharedStore(s.numProcesses, 1);
    Board root = board;
    Move m = searchRoot(context, root, report);
    sharedStore(s.numProcesses, processes);
    return m;
}

SavedToolSettings::SavedToolSettings(SharedState& shared)
    : shared_(shared), maxDepth_(sharedLoad(shared.maxDepth)),
      postThinking_(sharedLoad(shared.postThinking)), gameStartPly_(shared.gameStartPly) {}

SavedToolSettings::~SavedToolSettings() {
    sharedStore(shared_.maxDepth, maxDepth_);
    sharedStore(shared_.postThinking, postThinking_);
    shared_.gameStartPly = gameStartPly_;
}

namespace {

// A name that is there but is no regular file (a FIFO, a directory) is
// never opened: it would block or fail half-way.
bool mayOpen(const char* path) {
    return settingsFileState(path) != SettingsFileState::NotRegular;
}

} // namespace

ToolInput::ToolInput(const char* path) {
    if (mayOpen(path)) file_ = std::fopen(path, "r");
}

ToolInput::~ToolInput() {
    if (file_) std::fclose(file_);
}

const char* ToolInput::nextLine() {
    if (!file_ || !std::fgets(line_, sizeof line_, file_)) return nullptr;
    std::size_t n = std::strlen(line_);
    if (n > 0 && line_[n - 1] == '\n') {
        line_[--n] = 0;
    } else if (n == sizeof line_ - 1) {
        int c;
        while ((c = std::fgetc(file_)) != EOF && c != '\n') {
        }
    }
    if (n > 0 && line_[n - 1] == '\r') line_[--n] = 0;
    return line_;
}

ToolOutput::ToolOutput(const char* path) {
    if (mayOpen(path)) file_ = std::fopen(path, "a");
    if (!file_) say("Cannot write %s\n", path);
}

ToolOutput::~ToolOutput() {
    if (file_) std::fclose(file_);
}

void ToolOutput::append(const char* format, ...) {
    if (!file_) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
    std::fflush(file_);
}

void ToolOutput::appendParameters() {
    for (const eval::TunedParameter& p : eval::tunedParameters) append("%d, ", *p.value);
}

bool isBlankLine(const char* line) {
    return line[std::strspn(line, " \t\r\n")] == 0;
}
