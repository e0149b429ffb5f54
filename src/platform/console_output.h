// Standard output, the other half of the seam next to win32.h: the tool
// hands over bytes, the platform writes them unchanged.
#pragma once

#include <cstddef>

// The end of a text line as a text-mode console program writes it: CR LF on
// Windows, LF elsewhere.
extern const char LineEnd[];

void WriteStdout(const char *bytes, std::size_t length);
