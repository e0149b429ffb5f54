// Line helpers shared by the parts of the .reg image.
#pragma once

#include <string_view>

#include "platform/posix/sources/reg_image.h"

inline bool IsRegBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

inline std::string_view TrimRegLine(std::string_view line)
{
    while (!line.empty() && IsRegBlank(line.back()))
        line.remove_suffix(1);
    while (!line.empty() && IsRegBlank(line.front()))
        line.remove_prefix(1);
    return line;
}

inline std::string_view PathOfKey(const RegImage &image, const RegImage::Key &key)
{
    return image.text.substr(key.pathBegin, key.pathLength);
}

// Indexes every section header of `image.text`, the header line excluded.
void IndexRegSections(RegImage &image);

// The key named or implied by a header, or null.
const RegImage::Key *FindRegImageKey(const RegImage &image, std::string_view path);
