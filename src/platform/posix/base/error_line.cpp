#include "platform/posix/base/error_line.h"

#include <unistd.h>

#include <cstdio>

#include "platform/posix/base/line_diverter.h"
#include "platform/posix/base/trace_line.h"

void PrintErrorLine(std::string line)
{
    if (DivertedLines() != nullptr) {
        DivertedLines()(LineKind::Error, line);
        return;
    }
    line = OneLine("dorovivi: " + line);
    // A line said before the trace has started still keeps stderr JSON.
    bool onlyJson = TraceFd == STDERR_FILENO || (TraceFd == TraceNotStarted && TraceSettingIsStderr());
    if (onlyJson || Tracing()) {
        TraceLine event("message");
        event.Text("text", line);
        if (onlyJson) {
            event.WriteTo(STDERR_FILENO);
            return;
        }
        event.Write();
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

std::string OneLine(std::string text)
{
    for (char &c : text)
        if (c == '\n' || c == '\r')
            c = '?';
    return text;
}
