#include "platform/posix/base/diverted_lines.h"

#include "platform/posix/base/error_line.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/base/trace_start.h"

bool WriteDivertedLine(LineKind kind, const std::string &text)
{
    if (text.size() > kDivertedLineLargest)
        return false;
    // An error line may name a file with a line end in it, which the writer
    // replaces as it does for its own.
    if (kind == LineKind::Error) {
        PrintErrorLine(text);
        return true;
    }
    if (kind == LineKind::TraceOff) {
        StopTraceAsEvidence(text);
        return true;
    }
    // A trace line is one JSON object, every control character escaped.
    if (kind != LineKind::Trace || text.rfind("{\"event\":\"", 0) != 0)
        return false;
    for (unsigned char c : text)
        if (c < 0x20)
            return false;
    TraceLine line("");
    line.text = text;
    line.Write();
    return true;
}
