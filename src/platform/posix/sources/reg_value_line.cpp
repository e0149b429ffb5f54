// Value lines of a .reg section, read as regedit reads them: data types are
// case-sensitive, a "; comment" may follow the data, only hex data goes on
// over lines, and string types given as hex get their terminator.
#include "platform/posix/sources/reg_value_line.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/base/text_encoding.h"

namespace {

std::size_t SkipBlanks(std::string_view line, std::size_t pos)
{
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    return pos;
}

// Whether nothing but blanks and a comment follow `pos`.
bool OnlyComment(std::string_view line, std::size_t pos)
{
    pos = SkipBlanks(line, pos);
    return pos >= line.size() || line[pos] == ';';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A quoted text; `pos` stands after the opening quote and ends after the
// closing one. \n and \r stand for line ends, any other escaped character
// for itself; \0 or a backslash ending the line make the text invalid.
bool ParseQuoted(std::string_view line, std::size_t &pos, std::string &out)
{
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"')
            return true;
        if (c == '\\') {
            if (pos >= line.size() || line[pos] == '0')
                return false;
            c = line[pos++];
            if (c == 'n')
                c = '\n';
            else if (c == 'r')
                c = '\r';
        }
        out += c;
    }
    return false;
}

// A number as strtoul reads it in base 16: blanks, a sign, a 0x prefix and
// digits. False (and `pos` kept) when there is no digit; `value` saturates.
bool ReadNumber(std::string_view text, std::size_t &pos, std::uint64_t &value)
{
    std::size_t at = SkipBlanks(text, pos);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    if (at + 2 < text.size() && text[at] == '0' && LowerAscii(text[at + 1]) == 'x' && HexDigit(text[at + 2]) >= 0)
        at += 2;
    if (at >= text.size() || HexDigit(text[at]) < 0)
        return false;
    value = 0;
    for (; at < text.size() && HexDigit(text[at]) >= 0; ++at) {
        value = value * 16 + static_cast<std::uint64_t>(HexDigit(text[at]));
        if (value > 0xFFFFFFFFu)
            value = 0x100000000u;
    }
    if (negative && value != 0 && value <= 0xFFFFFFFFu)
        value = 0x100000000u - value;
    pos = at;
    return true;
}

// dword data: up to eight hex digits, then only a comment. No digits before
// a comment reads as 0, as regedit reads it.
bool ParseDword(std::string_view text, RegValueLine &value)
{
    std::size_t pos = SkipBlanks(text, 0);
    if (pos >= text.size())
        return false;
    std::uint32_t number = 0;
    std::size_t digits = 0;
    for (; pos < text.size() && HexDigit(text[pos]) >= 0; ++pos, ++digits)
        number = number * 16 + static_cast<std::uint32_t>(HexDigit(text[pos]));
    if (digits > 8 || !OnlyComment(text, pos))
        return false;
    value.type = REG_DWORD;
    for (int i = 0; i < 4; ++i)
        value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
    return true;
}

// Comma-separated bytes of one line. Blanks may come before a byte, not
// before its comma; a trailing comma is allowed; a backslash after the last
// comma continues the data on the next line.
RegValueParse ParseHexBytes(std::string_view text, std::string &out)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::uint64_t byte;
        if (!ReadNumber(text, pos, byte)) {
            pos = SkipBlanks(text, pos);
            if (pos < text.size() && text[pos] == '\\')
                return OnlyComment(text, pos + 1) ? RegValueContinued : RegValueInvalid;
            return pos >= text.size() || text[pos] == ';' ? RegValueDone : RegValueInvalid;
        }
        if (byte > 0xFF)
            return RegValueInvalid;
        out += static_cast<char>(byte);
        if (pos < text.size() && text[pos] != ',')
            return OnlyComment(text, pos) ? RegValueDone : RegValueInvalid;
        ++pos;
    }
    return RegValueDone;
}

RegValueParse HexLine(std::string_view text, bool unicodeText, RegValueLine &value)
{
    RegValueParse parse = ParseHexBytes(text, value.data);
    if (parse == RegValueDone)
        FinishRegValue(unicodeText, value);
    return parse;
}

// "hex(N):" with N in hex; regedit refuses a 0x prefix here.
bool ParseHexType(std::string_view line, std::size_t &pos, DWORD &type)
{
    if (pos >= line.size() || (pos + 1 < line.size() && LowerAscii(line[pos + 1]) == 'x'))
        return false;
    std::uint64_t number = 0;
    ReadNumber(line, pos, number);
    if (number > 0xFFFFFFFFu || line.substr(pos, 2) != "):")
        return false;
    type = static_cast<DWORD>(number);
    pos += 2;
    return true;
}

RegValueParse ParseData(std::string_view line, std::size_t pos, bool unicodeText, RegValueLine &value)
{
    pos = SkipBlanks(line, pos);
    std::string_view rest = TrimTrailing(line.substr(pos), IsBlank);
    if (!rest.empty() && rest.front() == '-') {
        value.removed = true;
        return OnlyComment(rest, 1) ? RegValueDone : RegValueInvalid;
    }
    if (!rest.empty() && rest.front() == '"') {
        std::size_t end = 1;
        if (!ParseQuoted(rest, end, value.data) || !OnlyComment(rest, end))
            return RegValueInvalid;
        value.type = REG_SZ;
        value.data += '\0';
        return RegValueDone;
    }
    if (rest.substr(0, 4) == "hex:") {
        value.type = REG_BINARY;
        return ParseHexBytes(rest.substr(4), value.data);
    }
    if (rest.substr(0, 6) == "dword:")
        return ParseDword(rest.substr(6), value) ? RegValueDone : RegValueInvalid;
    std::size_t at = 4;
    if (rest.substr(0, 4) != "hex(" || !ParseHexType(rest, at, value.type))
        return RegValueInvalid;
    // An empty hex list stays empty, terminator or not.
    if (at >= rest.size())
        return RegValueDone;
    value.hexText = IsStringType(value.type);
    return HexLine(rest.substr(at), unicodeText, value);
}

} // namespace

RegValueParse ParseRegValueLine(std::string_view line, bool unicodeText, RegValueLine &value)
{
    value.name.clear();
    value.removed = false;
    value.type = REG_NONE;
    value.data.clear();
    value.hexText = false;
    std::size_t pos = SkipBlanks(line, 0);
    if (pos >= line.size())
        return RegValueInvalid;
    if (line[pos] == '@') {
        ++pos;
    } else if (line[pos] == '"') {
        ++pos;
        if (!ParseQuoted(line, pos, value.name))
            return RegValueInvalid;
    } else {
        return RegValueInvalid;
    }
    pos = SkipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=')
        return RegValueInvalid;
    return ParseData(line, pos + 1, unicodeText, value);
}

RegValueParse ContinueRegValueLine(std::string_view line, bool unicodeText, RegValueLine &value)
{
    std::size_t pos = SkipBlanks(line, 0);
    if (pos >= line.size() || line[pos] == ';')
        return RegValueContinued;
    if (HexDigit(line[pos]) < 0)
        return RegValueInvalid;
    return HexLine(line.substr(pos), unicodeText, value);
}

void FinishRegValue(bool unicodeText, RegValueLine &value)
{
    if (!value.hexText || value.data.empty())
        return;
    value.hexText = false;
    if (!unicodeText) {
        if (value.data.back() != '\0')
            value.data += '\0';
        return;
    }
    std::string bytes;
    bytes.swap(value.data);
    std::size_t units = bytes.size() / 2;
    AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), units * 2, value.data);
    if (units == 0 || bytes[units * 2 - 1] != '\0' || bytes[units * 2 - 2] != '\0')
        value.data += '\0';
}
