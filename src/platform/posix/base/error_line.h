// The emulation's messages on stderr, one line each.
#pragma once

#include <string>

// The one writer of the emulation's lines: "dorovivi: ", `line` and a line
// end to stderr. A file name from a drive or an
// image may hold a CR or LF; each becomes '?', so the message stays one line.
// With a trace the line is also a "message" event in it, in its place among
// the others; with DOROVIVI_TRACE=- it is only that event, so that stderr
// holds nothing but JSON lines.
void PrintErrorLine(std::string line);

// `text` with each CR and LF as '?': a line that a child hands on as one.
std::string OneLine(std::string text);
