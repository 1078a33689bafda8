// Sub-commands of tarvok-dev. Each takes the arguments from the sub-command's
// name on (argv[0] is the name) and returns the process exit status.
#pragma once

// eval FEN: the position's evaluation term by term, then "eval S".
int devEval(int argc, char** argv);

// search FEN depth D | search FEN movetime MS: a root search with the xboard
// thinking lines, then "bestmove M score S depth D nodes N time_ms T".
int devSearch(int argc, char** argv);

// san FEN SAN...: each SAN move in coordinate form, one per line ("none" when
// it names no legal move).
int devSan(int argc, char** argv);

// probe FEN: registers the tablebases of the settings file, then "probe S"
// (the tablebase score from the side to move's view) or "probe none".
int devProbe(int argc, char** argv);
