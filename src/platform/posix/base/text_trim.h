// Trimming text at either end, by a test of each character, for the boot
// files, the .reg lines and the libraries' messages alike.
#pragma once

#include <string_view>

// `text` without the characters `trimmed` picks at its end, or at its start.
template <typename Picks>
std::string_view TrimTrailing(std::string_view text, Picks trimmed)
{
    while (!text.empty() && trimmed(text.back()))
        text.remove_suffix(1);
    return text;
}

template <typename Picks>
std::string_view TrimLeading(std::string_view text, Picks trimmed)
{
    while (!text.empty() && trimmed(text.front()))
        text.remove_prefix(1);
    return text;
}
