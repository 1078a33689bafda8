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

// Book commands (dev_book.cpp): makebook OUT.ctg [--plies N] [--min-games K]
// FILE..., bookprobe BOOK FEN, bookkey FEN, bookscan BOOK FILE.
int devMakeBook(int argc, char** argv);
int devBookProbe(int argc, char** argv);
int devBookKey(int argc, char** argv);
int devBookScan(int argc, char** argv);
// selfplay GAMES SEED DEPTH OUT.pgn: the engine's games for the shipped book.
int devSelfPlay(int argc, char** argv);
