#include "search/split_hook.h"

// Split blocks are not handed out yet: the node always goes on alone.
bool trySplit(SearchContext& /*ctx*/, const SplitRequest& /*request*/, int& /*result*/) {
    return false;
}
