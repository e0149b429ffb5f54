#include "platform/posix/machine/machine_lines.h"

#include <string>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_disks.h"

bool NextMachineLine(MachineLines &lines, std::string_view &line, Fault &fault)
{
    if (lines.at >= lines.text.size())
        return false;
    std::size_t end = lines.text.find('\n', lines.at);
    if (end == std::string_view::npos)
        end = lines.text.size();
    line = lines.text.substr(lines.at, end - lines.at);
    lines.at = end + 1;
    ++lines.number;
    if (line.size() > kMaxMachineLine) {
        fault = {"", "line " + std::to_string(lines.number) + " is longer than " + std::to_string(kMaxMachineLine) +
                         " bytes"};
        return false;
    }
    if (line.find('\0') != std::string_view::npos) {
        fault = {"", "line " + std::to_string(lines.number) + " holds a NUL byte: this is not a text configuration"};
        return false;
    }
    line = TrimBlanks(line);
    return true;
}

bool SplitMachineSetting(std::string_view line, char separator, std::string_view &key, std::string_view &value)
{
    std::size_t cut = line.find(separator);
    if (cut == std::string_view::npos)
        return false;
    key = TrimBlanks(line.substr(0, cut));
    value = TrimBlanks(line.substr(cut + 1));
    if (value.size() >= 2 && value.front() == '"') {
        std::size_t close = value.find('"', 1);
        value = value.substr(1, close == std::string_view::npos ? value.size() - 1 : close - 1);
    }
    return true;
}
