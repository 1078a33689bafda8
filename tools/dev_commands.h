// Sub-commands of tarvok-dev. Each takes the arguments from the sub-command's
// name on (argv[0] is the name) and returns the process exit status.
#pragma once

// eval FEN: the position's evaluation term by term, then "eval S".
int devEval(int argc, char** argv);
