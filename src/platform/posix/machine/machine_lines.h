// The lines of a text configuration (.vmx, .vmsd, qemu-server .conf, 86Box
// .cfg), each within kMaxMachineLine, as "key <separator> value" settings.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/posix/base/fault.h"

struct MachineLines {
    std::string_view text;
    std::size_t at;
    long number; // of the line last taken, from 1
};

// The next line without its end (LF or CR LF) and blanks at either end;
// false at the end, or with `fault` on a line that is too long or holds a NUL.
bool NextMachineLine(MachineLines &lines, std::string_view &line, Fault &fault);

// Splits "key = value" (or "key: value") at the first `separator`: both
// trimmed, and a value in double quotes taken from inside them. False when
// the line holds no separator.
bool SplitMachineSetting(std::string_view line, char separator, std::string_view &key, std::string_view &value);
