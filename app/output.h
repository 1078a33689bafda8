// Output of the front end. The search processes write to the same standard
// output, so each line goes out in one write: it can never be split by a
// line of another process (a plain printf of a fixed text may become two
// writes, the text and its line end).
#pragma once

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
