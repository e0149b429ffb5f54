// Line helpers shared by the parts of the .reg export.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/posix/sources/reg_export.h"
#include "platform/posix/base/text_compare.h"

inline bool IsRegBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

inline std::string_view TrimRegLine(std::string_view line)
{
    return TrimLeading(TrimTrailing(line, IsRegBlank), IsRegBlank);
}

// Indexes every section header of `exported.text`, the header line excluded:
// read from `fd` (the text starting at `fileOffset`) where one is given, as
// for a mapped file, else from the text in memory.
void IndexRegSections(RegExport &exported, int fd, std::uint64_t fileOffset);

// The case-insensitive hash the names are listed by.
std::uint32_t RegPathHash(std::string_view path);

// The names that are `path` (with `hash` its RegPathHash), newest first:
// pass 0 for the newest, then what the call returned; 0 ends. A result is
// the name's index + 1.
std::uint32_t NextRegExportName(const RegExport &exported, std::string_view path, std::uint32_t hash, std::uint32_t newer);
