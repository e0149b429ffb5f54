#pragma once

#include <string>
#include <string_view>

#include "platform/posix/base/win32_api.h"

struct RegValueLine {
    std::string name;  // "" for the default value (@)
    bool removed;      // "name"=-
    DWORD type;
    std::string data;  // the bytes as RegQueryValueExA hands them out
    bool hexText;      // hex() data of a string type, still to be finished
};

enum RegValueParse {
    RegValueInvalid,   // not a value: regedit skips the line
    RegValueDone,      // a whole value (or a removal)
    RegValueContinued  // hex data ending in a backslash: the next line goes on
};

// Parses one line of a .reg section (line end removed). `unicodeText` tells
// that the file was UTF-16, so hex() data of string types is UTF-16LE.
RegValueParse ParseRegValueLine(std::string_view line, bool unicodeText, RegValueLine &value);

// Parses the line after a continued one. Blank lines and comments in
// between are skipped (RegValueContinued); a line that does not start with a
// hex digit drops the value, and is not read as anything else.
RegValueParse ContinueRegValueLine(std::string_view line, bool unicodeText, RegValueLine &value);

// Ends a value continued up to the end of the file.
void FinishRegValue(bool unicodeText, RegValueLine &value);
