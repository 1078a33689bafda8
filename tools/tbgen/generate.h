// Retrograde generation of one table's files.
#pragma once

#include <string>

// Prints "tarvok-tbgen: MESSAGE" on standard error and exits with status 1.
[[noreturn]] void tbgenFail(const std::string& message);

// DIR/NAME.nbw or .nbb (slot 0 or 1), with ".emd" when compressed.
std::string sideFile(const std::string& dir, int id, int slot, bool compressed);

// Writes the files of table id into dir. The tables its captures and
// promotions lead to must be registered already (read through the prober).
void generateTable(const std::string& dir, int id, bool compressed);
