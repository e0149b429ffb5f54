// The emulation's messages on stderr, one line each.
#pragma once

#include <string>

// Writes `line` and a line end to stderr. A file name from a drive or an
// image may hold a CR or LF; each becomes '?', so the message stays one line.
void PrintErrorLine(std::string line);
