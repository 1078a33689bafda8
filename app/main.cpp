// Entry point: chooses the process's role from its command line.
//
//   tarvok          front end: asks for the protocol on standard input
//   tarvok N        search process number N (the first character counts)
//   tarvok A B ...  front end as well
//
// A single argument that does not start with a digit is a person asking for
// help (tarvok --help), not a search process: it gets a usage line instead.
#include <cstdio>
#include <cstring>

#include "app/controller_tasks.h"
#include "app/identity.h"
#include "app/line_reader.h"
#include "app/output.h"
#include "app/protocols.h"
#include "smp/locks.h"
#include "smp/search_process.h"

namespace {

int runFrontEnd(const char* programPath) {
    if (!beginEngineInstance()) {
        say("ERROR! Could not name this engine instance.\n");
        return 1;
    }
    // The locks are made with the game controller, just before the search
    // processes that share them: an engine that ends before (a GUI reading
    // the options and killing it) leaves no object behind.
    say("%s\n\n", engineId);
    say("Choose mode: Type xboard or uci\n");

    static char line[LINE_BUFFER_SIZE];
    LineReader input;
    int status = 0;
    if (input.readLine(line)) { // end of input at the prompt: nothing to do
        const bool uci = std::strncmp(line, "uci", 3) == 0;
        status = uci ? runUci(input, line, programPath) : runXboard(input, line, programPath);
    }
    closeGlobalLocks();
    endEngineInstance();
    return status;
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
        return runSearchProcess(first - '0', engineId, searchControllerLoop);
    }
    return runFrontEnd(argv[0]);
}
