#pragma once

#include <string>

#include "platform/posix/base/win32_api.h"

// Adds one reference to `name` in the atom table file at `tablePath` (one
// atom a line: its count, a space, its name), creating the file if needed.
// Returns 0xC000 plus the atom's line index, or 0 on failure.
ATOM AddAtomToTable(const std::string &tablePath, const char *name);
