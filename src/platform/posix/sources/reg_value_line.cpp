#include "platform/posix/sources/reg_value_line.h"

#include <cstddef>
#include <cstring>

#include "platform/posix/text_encoding.h"

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

void SkipBlanks(std::string_view line, std::size_t &pos)
{
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
}

bool ConsumeWord(std::string_view line, std::size_t &pos, std::string_view word)
{
    if (line.size() - pos < word.size() || !RegNamesEqual(line.substr(pos, word.size()), word))
        return false;
    pos += word.size();
    return true;
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

// A quoted text with the escapes \\ and \"; `pos` stands on the opening quote.
bool ParseQuoted(std::string_view line, std::size_t &pos, std::string &out)
{
    ++pos;
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"')
            return true;
        if (c == '\\' && pos < line.size() && (line[pos] == '\\' || line[pos] == '"'))
            c = line[pos++];
        out += c;
    }
    return false;
}

bool ParseHexNumber(std::string_view text, unsigned long maxDigits, unsigned long &number)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    number = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0)
            return false;
        number = number * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Comma-separated bytes of two hex digits each; an empty list is allowed.
bool ParseHexBytes(std::string_view text, std::string &out)
{
    text = TrimBlanks(text);
    while (!text.empty()) {
        std::size_t comma = text.find(',');
        std::string_view item = TrimBlanks(text.substr(0, comma));
        unsigned long byte;
        if (item.size() > 2 || !ParseHexNumber(item, 2, byte))
            return false;
        out += static_cast<char>(byte);
        if (comma == std::string_view::npos)
            break;
        text = text.substr(comma + 1);
        if (TrimBlanks(text).empty())
            return false;
    }
    return true;
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool ParseData(std::string_view line, std::size_t pos, bool unicodeHex, RegValueLine &value)
{
    SkipBlanks(line, pos);
    std::string_view rest = line.substr(pos);
    if (TrimBlanks(rest) == "-") {
        value.removed = true;
        return true;
    }
    if (!rest.empty() && rest.front() == '"') {
        std::size_t end = pos;
        if (!ParseQuoted(line, end, value.data) || !TrimBlanks(line.substr(end)).empty())
            return false;
        value.type = REG_SZ;
        value.data += '\0';
        return true;
    }
    if (ConsumeWord(line, pos, "dword:")) {
        unsigned long number;
        if (!ParseHexNumber(TrimBlanks(line.substr(pos)), 8, number))
            return false;
        value.type = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
        return true;
    }
    if (!ConsumeWord(line, pos, "hex"))
        return false;
    value.type = REG_BINARY;
    if (pos < line.size() && line[pos] == '(') {
        std::size_t close = line.find(')', pos);
        unsigned long type;
        if (close == std::string_view::npos || !ParseHexNumber(line.substr(pos + 1, close - pos - 1), 8, type))
            return false;
        value.type = static_cast<DWORD>(type);
        pos = close + 1;
    }
    if (pos >= line.size() || line[pos] != ':')
        return false;
    std::string bytes;
    if (!ParseHexBytes(line.substr(pos + 1), bytes))
        return false;
    if (unicodeHex && IsStringType(value.type)) {
        AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), value.data);
    } else {
        value.data = bytes;
    }
    return true;
}

} // namespace

bool RegNamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    if (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0)
        return true;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool ParseRegValueLine(std::string_view line, bool unicodeHex, RegValueLine &value)
{
    value = RegValueLine{std::string(), false, REG_NONE, std::string()};
    std::size_t pos = 0;
    SkipBlanks(line, pos);
    if (pos >= line.size())
        return false;
    if (line[pos] == '@') {
        ++pos;
    } else if (line[pos] == '"') {
        if (!ParseQuoted(line, pos, value.name))
            return false;
    } else {
        return false;
    }
    SkipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=')
        return false;
    return ParseData(line, pos + 1, unicodeHex, value);
}
