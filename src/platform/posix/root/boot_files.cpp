#include "platform/posix/root/boot_files.h"

#include <cstdlib>
#include <string_view>

#include "platform/posix/base/text_compare.h"

namespace {

// MSDOS.SYS and boot.ini are a few hundred bytes; a bigger file is read only
// this far, which is ample for the lines that matter.
const std::size_t MaxBootFile = 16384;

bool ReadBootFile(const FileTree &tree, const char *name, std::string &text, std::string &path)
{
    bool isDirectory = false;
    if (!FindTreeEntry(tree, "", name, path, isDirectory) || isDirectory)
        return false;
    char buffer[MaxBootFile];
    std::size_t size = 0;
    if (!tree.ReadStart(path, buffer, sizeof buffer, size))
        return false;
    if (size == sizeof buffer) {
        // Cut back to the last whole line rather than parse half a line.
        while (size > 0 && buffer[size - 1] != '\n')
            --size;
    }
    text.assign(buffer, size);
    return true;
}

// The value of `key` in `[section]` of an INI-style text, any case, CR LF or LF.
bool IniValue(std::string_view text, std::string_view section, std::string_view key, std::string &value)
{
    bool inSection = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = TrimBlanks(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.front() == '[') {
            std::size_t close = line.find(']');
            inSection = close != std::string_view::npos && RegNamesEqual(TrimBlanks(line.substr(1, close - 1)), section);
            continue;
        }
        std::size_t equals = line.find('=');
        if (inSection && equals != std::string_view::npos && RegNamesEqual(TrimBlanks(line.substr(0, equals)), key)) {
            value = TrimBlanks(line.substr(equals + 1));
            return true;
        }
    }
    return false;
}

// The number in "word(N)" inside `name`, any case; false without one.
bool ArcNumber(std::string_view name, std::string_view word, int &number)
{
    std::string upper = UpperAscii(name);
    std::size_t at = upper.find(UpperAscii(word) + "(");
    if (at == std::string::npos)
        return false;
    std::size_t digits = at + word.size() + 1;
    number = 0;
    std::size_t end = digits;
    while (end < upper.size() && upper[end] >= '0' && upper[end] <= '9' && number < 10000)
        number = number * 10 + (upper[end++] - '0');
    return end > digits && end < upper.size() && upper[end] == ')';
}

} // namespace

bool ParseArcName(const std::string &name, int &disk, int &partition, std::string &path)
{
    std::size_t slash = name.find('\\');
    std::string_view arc = std::string_view(name).substr(0, slash);
    if (!ArcNumber(arc, "partition", partition))
        return false;
    if (!ArcNumber(arc, "rdisk", disk))
        disk = 0;
    path = slash == std::string::npos ? std::string() : name.substr(slash + 1);
    return true;
}

BootConfig ReadBootConfig(const FileTree &tree)
{
    BootConfig config;
    std::string text, value, path;
    if (ReadBootFile(tree, "MSDOS.SYS", text, path) && IniValue(text, "Paths", "WinDir", value)) {
        config.hasWinDir = true;
        config.winDirAsWritten = value;
        config.winDirFile = path;
        config.winDir = value.size() >= 2 && value[1] == ':' ? value.substr(2) : value;
    }
    if (ReadBootFile(tree, "boot.ini", text, path) && IniValue(text, "boot loader", "default", value)) {
        // An ARC name has its parenthesis before the path; "C:\" instead
        // names the earlier system's boot sector.
        std::size_t slash = value.find('\\');
        std::size_t paren = value.find(')');
        if (paren != std::string::npos && paren < slash) {
            config.bootDefault = BootDefault::ArcPath;
            if (!ParseArcName(value, config.arcDisk, config.arcPartition, config.arcPath)) {
                config.arcPartition = 0;
                config.arcPath = slash == std::string::npos ? std::string() : value.substr(slash + 1);
            }
        } else {
            config.bootDefault = BootDefault::PreviousOs;
        }
    }
    return config;
}
