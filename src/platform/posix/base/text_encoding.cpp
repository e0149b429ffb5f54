#include "platform/posix/base/text_encoding.h"

#include <cstdint>
#include <cstring>

namespace {

void AppendCodePoint(unsigned long cp, std::string &out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

void AppendUtf16LeAsUtf8(const unsigned char *bytes, std::size_t size, std::string &out)
{
    const unsigned long replacement = 0xFFFD;
    std::size_t units = size / 2;
    // Exports are mostly ASCII: four units at a time become four bytes,
    // gathered in a buffer, until one is not ASCII.
    char ascii[4096];
    std::size_t held = 0;
    std::size_t i = 0;
    while (i < units) {
        if (i + 4 <= units) {
            std::uint64_t four;
            std::memcpy(&four, bytes + 2 * i, 8);
            if ((four & 0xFF80FF80FF80FF80ull) == 0) {
                if (held + 4 > sizeof ascii) {
                    out.append(ascii, held);
                    held = 0;
                }
                for (int k = 0; k < 4; ++k)
                    ascii[held++] = static_cast<char>(bytes[2 * i + 2 * k]);
                i += 4;
                continue;
            }
        }
        out.append(ascii, held);
        held = 0;
        unsigned long unit = bytes[2 * i] | (static_cast<unsigned long>(bytes[2 * i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            unsigned long low = bytes[2 * i + 2] | (static_cast<unsigned long>(bytes[2 * i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
                i += 2;
                continue;
            }
        }
        AppendCodePoint(unit >= 0xD800 && unit <= 0xDFFF ? replacement : unit, out);
        ++i;
    }
    out.append(ascii, held);
}

std::string Utf16LeNameAsUtf8(const unsigned char *bytes, std::size_t size)
{
    std::size_t length = 0;
    while (length + 1 < size && (bytes[length] != 0 || bytes[length + 1] != 0))
        length += 2;
    std::string name;
    AppendUtf16LeAsUtf8(bytes, length, name);
    return name;
}
