#include "platform/posix/base/text_compare.h"

#include <sys/stat.h>

#include <cstring>

std::string UpperAscii(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

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

std::string_view TrimBlanks(std::string_view text)
{
    return TrimTrailing(TrimLeading(text, IsBlank), [](char c) { return IsBlank(c) || c == '\r'; });
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool NextPathPart(std::string_view &rest, std::string_view &part)
{
    while (!rest.empty()) {
        std::size_t cut = rest.find_first_of("\\/");
        part = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (!part.empty())
            return true;
    }
    return false;
}

bool IsRegularFile(int fd)
{
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}
