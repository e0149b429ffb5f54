#include "platform/posix/text_encoding.h"

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
    for (std::size_t i = 0; i < units; ++i) {
        unsigned long unit = bytes[2 * i] | (static_cast<unsigned long>(bytes[2 * i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            unsigned long low = bytes[2 * i + 2] | (static_cast<unsigned long>(bytes[2 * i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
                ++i;
                continue;
            }
        }
        AppendCodePoint(unit >= 0xD800 && unit <= 0xDFFF ? replacement : unit, out);
    }
}
