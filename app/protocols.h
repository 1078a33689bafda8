// The two command loops of the front end. Each runs from the line that chose
// its protocol to "quit" or the end of input and returns the exit status.
#pragma once

class LineReader;

// UCI: identification and options, the settings file written from them, the
// game controller, then the command loop.
int runUci(LineReader& input, char* line, const char* programPath);
// xboard: "feature done=0", the game controller, then the command loop,
// starting with the line already read.
int runXboard(LineReader& input, char* line, const char* programPath);
