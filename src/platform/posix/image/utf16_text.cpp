#include "platform/posix/image/utf16_text.h"

#include <cstdint>

namespace {

void Append(std::string &out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string Utf16ToUtf8(const unsigned char *bytes, std::size_t count, bool bigEndian)
{
    std::string out;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(bigEndian ? bytes[i] << 8 | bytes[i + 1] : bytes[i] | bytes[i + 1] << 8);
    };
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        std::uint32_t c = unit(i);
        if (c == 0)
            break;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < count && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        Append(out, c);
    }
    return out;
}
