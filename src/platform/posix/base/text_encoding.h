#pragma once

#include <cstddef>
#include <string>

// Appends the UTF-8 form of UTF-16LE bytes to `out`. An odd last byte is
// dropped; unpaired surrogates become U+FFFD.
void AppendUtf16LeAsUtf8(const unsigned char *bytes, std::size_t size, std::string &out);

// A name stored as UTF-16LE in `size` bytes, up to its first NUL unit, as UTF-8.
std::string Utf16LeNameAsUtf8(const unsigned char *bytes, std::size_t size);
