// Names stored as UTF-16 by the disk formats, as UTF-8.
#pragma once

#include <cstddef>
#include <string>

// `count` bytes of UTF-16 at `bytes`, little- or big-endian; a lone
// surrogate becomes U+FFFD, a terminating NUL ends the text.
std::string Utf16ToUtf8(const unsigned char *bytes, std::size_t count, bool bigEndian);
