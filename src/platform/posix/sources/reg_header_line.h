#pragma once

#include <string_view>

// What a line starting with "[" does to an import.
enum RegHeaderKind {
    RegHeaderNone,           // no header: the lines after it still belong to the key before
    RegHeaderMachineKey,     // opens a key below HKLM ("" for HKLM itself)
    RegHeaderMachineRemoval, // removes a key below HKLM and its subkeys
    RegHeaderOther,          // ends the section before; its own lines go nowhere
    RegHeaderStop            // regedit gives up on the file here: nothing after it is read
};

// Reads one line (leading blanks allowed, line end removed). `path` is the
// key below HKLM for the two machine kinds, a part of `line`. It may hold an
// empty part (A\\B), which regedit merges and the index refuses.
RegHeaderKind ParseRegHeaderLine(std::string_view line, std::string_view &path);

// Whether two backslashes stand side by side, eight bytes at a time: the
// index asks it of the part of every header that is new to it.
bool RegPathHasEmptyPart(std::string_view path);
