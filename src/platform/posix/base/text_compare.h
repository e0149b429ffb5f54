// Small text and file helpers every part of the emulation shares: names
// compare as the registry and FAT/NTFS compare them (ASCII letters in any
// case), boot files and .reg lines trim the same blanks.
#pragma once

#include <string>
#include <string_view>

#include "platform/posix/base/text_trim.h"
#include "platform/posix/base/win32_api.h"

// Inline: the .reg index calls these once a byte of every header path, and
// an out-of-line call there cost a tenth of a run's instructions.
inline char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string UpperAscii(std::string_view text);

// Case-insensitive equality of ASCII names, as the registry compares them.
bool RegNamesEqual(std::string_view a, std::string_view b);

// A space or a tab.
inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Without blanks at either end, nor a CR at the end.
std::string_view TrimBlanks(std::string_view text);

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ: the types the A functions convert.
bool IsStringType(DWORD type);

// Takes the next part of a path with '\' or '/' between its parts off the
// front of `rest`; false when none is left.
bool NextPathPart(std::string_view &rest, std::string_view &part);

// An open file that is a regular file (not a FIFO, device or directory).
bool IsRegularFile(int fd);
