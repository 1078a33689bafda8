#include "board/rng.h"

namespace {
Rand15 processRand;
}

int rand15() {
    return processRand.next();
}
