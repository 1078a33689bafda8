// Entry point: chooses the process's role from its command line.
//
//   tarvok          front end: asks for the protocol on standard input
//   tarvok N        search process number N (the first character counts)
//   tarvok A B ...  front end as well
//
// A single argument that does not start with a digit is a person asking for
// help (tarvok --help), not a search process: it gets a usage line instead.
#include <cstdio>

#include "app/identity.h"

namespace {

constexpr int LINE_BUFFER_SIZE = 10000;

int runSearchProcess(int /*number*/) {
    // The search processes arrive with the shared-memory search.
    return 0;
}

int runFrontEnd() {
    std::printf("%s\n\n", engineId);
    std::printf("Choose mode: Type xboard or uci\n");

    static char line[LINE_BUFFER_SIZE];
    if (!std::fgets(line, sizeof line, stdin)) return 0; // end of input: nothing to do
    const bool uci = line[0] == 'u' && line[1] == 'c' && line[2] == 'i';
    std::printf("%s protocol is not available yet.\n", uci ? "UCI" : "xboard");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::fflush(nullptr);

    if (argc == 2) {
        const char first = argv[1][0];
        if (first < '0' || first > '9') {
            std::fprintf(stderr,
                         "usage: %s  (a chess GUI starts it; type uci or xboard at the prompt)\n",
                         argv[0]);
            return 2;
        }
        return runSearchProcess(first - '0');
    }
    return runFrontEnd();
}
