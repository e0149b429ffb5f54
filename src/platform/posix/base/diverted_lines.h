// The parent's side of a child's lines (line_diverter.h).
#pragma once

#include <cstddef>
#include <string>

#include "platform/posix/base/line_diverter.h"

// The longest line a child may hand over.
constexpr std::size_t kDivertedLineLargest = 8192;

// Writes a line a child handed over as if said here; false, writing
// nothing, for a line no honest child writes (too long, a trace line that is
// not one event or holds a control character).
bool WriteDivertedLine(LineKind kind, const std::string &text);
