// The section headers of a .reg file, as regedit reads them: the key name
// runs from the bracket to the last "]" of the line, so anything after it
// (a "; comment") is ignored; a blank right after the bracket, or no "]" at
// all, makes no header.
#include "platform/posix/sources/reg_header_line.h"

#include <cstdint>
#include <cstring>

#include "platform/posix/base/text_compare.h"

namespace {

const std::string_view RootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_USERS",        "HKEY_CLASSES_ROOT",
                                      "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER", "HKEY_DYN_DATA"};

// The index of the root `name` starts with (before a backslash or its end), or -1.
int RootOf(std::string_view name)
{
    // Exports spell the machine root in capitals: no need to fold case.
    const std::string_view machine = RootNames[0];
    if (name.size() > machine.size() && name[machine.size()] == '\\' &&
        std::memcmp(name.data(), machine.data(), machine.size()) == 0)
        return 0;
    for (int i = 0; i < static_cast<int>(sizeof RootNames / sizeof RootNames[0]); ++i) {
        std::string_view root = RootNames[i];
        if (name.size() >= root.size() && RegNamesEqual(name.substr(0, root.size()), root) &&
            (name.size() == root.size() || name[root.size()] == '\\'))
            return i;
    }
    return -1;
}

// The path after the root's backslash, its trailing backslashes dropped.
// False for paths the registry refuses (a leading backslash).
bool SubPath(std::string_view name, std::string_view &path)
{
    std::size_t slash = name.find('\\');
    path = name.substr(slash == std::string_view::npos ? name.size() : slash + 1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return path.empty() || path.front() != '\\';
}

} // namespace

RegHeaderKind ParseRegHeaderLine(std::string_view line, std::string_view &path)
{
    // Nearly every header of an export is a machine key, the bracket ending
    // the line: that one needs none of the rules below (a tenth of the pass).
    const std::string_view machine = "[HKEY_LOCAL_MACHINE\\";
    if (line.size() > machine.size() + 1 && line.back() == ']' && line[machine.size()] != '\\' &&
        line[line.size() - 2] != '\\' && std::memcmp(line.data(), machine.data(), machine.size()) == 0) {
        path = line.substr(machine.size(), line.size() - machine.size() - 1);
        return RegHeaderMachineKey;
    }
    std::size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    if (pos >= line.size() || line[pos] != '[')
        return RegHeaderNone;
    line.remove_prefix(pos + 1);
    std::size_t close = line.rfind(']');
    if (line.empty() || IsBlank(line.front()) || close == std::string_view::npos)
        return RegHeaderNone;
    std::string_view name = line.substr(0, close);
    if (name.empty() || name.front() != '-') {
        if (RootOf(name) != 0 || !SubPath(name, path))
            return RegHeaderOther;
        return RegHeaderMachineKey;
    }
    // A removal: regedit only looks at names starting with H, and stops
    // at an unknown root or at a root itself.
    name.remove_prefix(1);
    if (name.empty() || (name.front() != 'H' && name.front() != 'h'))
        return RegHeaderOther;
    int root = RootOf(name);
    if (root < 0 || name.find('\\') == std::string_view::npos || name.substr(name.find('\\') + 1).empty())
        return RegHeaderStop;
    if (root != 0 || !SubPath(name, path) || path.empty())
        return RegHeaderOther;
    return RegHeaderMachineRemoval;
}

bool RegPathHasEmptyPart(std::string_view text)
{
    const std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t backslashes = ones * '\\';
    std::size_t i = 0;
    for (; i + 9 <= text.size(); i += 8) {
        std::uint64_t here, next;
        std::memcpy(&here, text.data() + i, 8);
        std::memcpy(&next, text.data() + i + 1, 8);
        // A zero byte where this byte and the next are both backslashes.
        std::uint64_t pairs = (here ^ backslashes) | (next ^ backslashes);
        if (((pairs - ones) & ~pairs & (ones << 7)) != 0)
            return true;
    }
    for (; i + 1 < text.size(); ++i) {
        if (text[i] == '\\' && text[i + 1] == '\\')
            return true;
    }
    return false;
}
