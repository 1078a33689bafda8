#include "search/standalone.h"

#include "board/makemove.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/trace.h"
#include "search/movepick.h"

StandaloneSearch::StandaloneSearch(std::uint64_t ttEntries, std::uint64_t evalEntries)
    : shared_(std::make_unique<SharedState>()), context_(std::make_unique<SearchContext>()),
      ttMemory_(std::make_unique<TTEntry[]>(ttEntries)),
      evalMemory_(std::make_unique<U64[]>(evalEntries)) {
    setSharedDefaults(*shared_);
    shared_->numProcesses = 1;
    shared_->allSearchprocesEnabled = TASK_THINK;
    evalHash_.attach(evalMemory_.get(), evalEntries);
    initBoardTables(&shared_->ordering, board_);
    initEvaluation(&evalHash_);
    SearchContext& ctx = *context_;
    ctx.nodes = 0;
    ctx.quiescenceNodes = 0;
    ctx.printInvertedScore = 0;
    ctx.pShared = shared_.get();
    ctx.processNumber = 0;
    ctx.tt.attach(ttMemory_.get(), ttEntries);
    clearTables();
}

StandaloneSearch::~StandaloneSearch() {
    initEvaluation(nullptr);
    context_->tt.detach();
    evalHash_.detach();
}

void StandaloneSearch::setPosition(const char* fen) {
    setFromFen(board_, fen);
}

void StandaloneSearch::play(Move move) {
    makeMove(board_, move);
}

void StandaloneSearch::clearTables() {
    context_->tt.clear();
    evalHash_.clear();
    clearHistory(shared_->ordering);
    clearKillers(shared_->ordering);
    lastPositional = 0;
}

Move StandaloneSearch::search(int limitMs, RootReport* report) {
    shared_->timer1.setLimit(limitMs);
    shared_->timer1.start();
    Board root = board_;
    return searchRoot(*context_, root, report);
}
