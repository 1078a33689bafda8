// Entry point: chooses the process's role from its command line.
#include <cstdio>

int main() {
    std::puts("Tarvok_v8.05 (32 bit)");
    return 0;
}
