// Developer tool: perft, eval and search on a FEN.
#include <cstdio>

int main() {
    std::puts("usage: tarvok-dev perft DEPTH FEN");
    return 2;
}
