#pragma once

#include <string>
#include <string_view>

#include "platform/posix/win32_api.h"

struct RegValueLine {
    std::string name;  // "" for the default value (@)
    bool removed;      // "name"=-
    DWORD type;
    std::string data;  // the bytes as RegQueryValueExA hands them out
};

// Parses one logical value line of a .reg section (continuations already
// joined). `unicodeHex` tells that hex() data of string types is UTF-16LE, as
// in version 5 files. Returns false for a line that is not a value.
bool ParseRegValueLine(std::string_view line, bool unicodeHex, RegValueLine &value);

// Case-insensitive equality of ASCII names, as the registry compares them.
bool RegNamesEqual(std::string_view a, std::string_view b);
