#include "inventory/error_lines.h"

#include <unistd.h>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/trace_line.h"

namespace {

void AppendMessage(std::string &out, std::string_view text)
{
    out += "{\"event\":\"message\",\"text\":";
    AppendJsonString(out, text);
    out += "}\n";
}

} // namespace

void WriteErrorLines(const std::string &text)
{
    std::string out;
    if (!TraceSettingIsStderr()) {
        out = text;
    } else {
        for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
            end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            AppendMessage(out, std::string_view(text).substr(at, end - at));
        }
    }
    WriteAll(STDERR_FILENO, out.data(), out.size()); // stderr is the last place a fault could be told
}

void AppendRunErrorLine(std::string &out, std::string_view line, const std::string &prefix, const char *root,
                        const char *command)
{
    if (!TraceSettingIsStderr()) {
        out += prefix;
        out.append(line.data(), line.size());
        out += '\n';
    } else if (line.size() >= 2 && line.front() == '{' && line.back() == '}') {
        out += "{\"root\":";
        AppendJsonString(out, root);
        out += ",\"command\":";
        AppendJsonString(out, command);
        out += line.size() > 2 ? "," : "";
        out.append(line.data() + 1, line.size() - 1);
        out += '\n';
    } else {
        AppendMessage(out, prefix + std::string(line)); // not from the tool's own writer
    }
}
