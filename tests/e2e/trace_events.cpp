#include "trace_events.h"

#include <gtest/gtest.h>

#include <hivex.h>
#include <sys/stat.h>

#include <cstring>
#include <regex>

#include "process_run.h"

std::string Sha256Sum(const std::string &path)
{
    return RunProcess({"/usr/bin/sha256sum", path}, {}).output.substr(0, 64);
}

namespace {

std::string FileSize(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? std::to_string(info.st_size) : "?";
}

} // namespace

// `text` as a literal in a pattern.
std::string Quote(const std::string &text)
{
    std::string quoted;
    for (char c : text)
        quoted += std::string(std::strchr("\\^$.|?*+()[]{}", c) != nullptr ? "\\" : "") + c;
    return quoted;
}

// `text` as a JSON string's inside (these names need no other escape), in a pattern.
std::string Literal(const std::string &text)
{
    std::string json;
    for (char c : text)
        json += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    return Quote(json);
}

// `replayed` as a pattern of the list's inside.
std::string RegistryEvent(const char *name, const std::string &file, const std::string &stored,
                          const std::string &replayed)
{
    return "\\{\"event\":\"registry\",\"name\":\"" + std::string(name) + "\",\"file\":\"" + Literal(file) +
           "\",\"size\":" + FileSize(stored) + ",\"sha256\":\"" + Sha256Sum(stored) + "\",\"replayed\":\\[" + replayed +
           "\\]\\}";
}

// Sets the key's last-write time in the hive file: the FILETIME lies 8 bytes
// into the key's cell (after the cell size, "nk" and the flags), and hivex
// names a node by its cell's offset in the file.
bool SetKeyTime(const std::string &hive, const std::vector<const char *> &path, std::uint64_t filetime)
{
    hive_h *h = hivex_open(hive.c_str(), 0);
    if (h == nullptr)
        return false;
    hive_node_h node = hivex_root(h);
    for (const char *name : path)
        node = node == 0 ? 0 : hivex_node_get_child(h, node, name);
    hivex_close(h);
    std::string bytes = ReadFile(hive);
    if (node == 0 || node + 16 > bytes.size() || bytes.compare(node + 4, 2, "nk") != 0)
        return false;
    for (int i = 0; i < 8; ++i)
        bytes[node + 8 + i] = static_cast<char>(filetime >> (8 * i));
    WriteFile(hive, bytes);
    return true;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// Each pattern matches a whole line, in this order; other lines may lie between.
void ExpectInOrder(const std::vector<std::string> &lines, const std::vector<std::string> &patterns,
                   const std::string &trace)
{
    std::size_t line = 0;
    for (const std::string &pattern : patterns) {
        std::regex wanted(pattern);
        while (line < lines.size() && !std::regex_match(lines[line], wanted))
            ++line;
        ASSERT_LT(line, lines.size()) << "no line (in order) like " << pattern << "\nin\n" << trace;
        ++line;
    }
    for (const std::string &one : lines)
        EXPECT_TRUE(one.compare(0, 10, "{\"event\":\"") == 0 && one.back() == '}') << one;
}

// The version event: `got` "major.minor.build" as the program got it.
std::string Version(int platform, const std::string &got, const char *recorded)
{
    std::size_t dot = got.find('.'), second = got.rfind('.');
    return Quote("{\"event\":\"version\",\"platform\":" + std::to_string(platform) + ",\"major\":" +
                 got.substr(0, dot) + ",\"minor\":" + got.substr(dot + 1, second - dot - 1) +
                 ",\"build\":" + got.substr(second + 1) + ",\"recorded\":\"" + recorded + "\"}");
}

// A root of its own holding `keys` as HKLM.reg.
std::string MakeExport(const std::string &top, const char *name, const std::string &keys)
{
    std::string root = top + "/" + name;
    mkdir(root.c_str(), 0755);
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n" + keys);
    return root;
}
