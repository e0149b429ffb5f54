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
// key below HKLM for the two machine kinds, a part of `line`.
RegHeaderKind ParseRegHeaderLine(std::string_view line, std::string_view &path);
