// A child that parses for its parent writes nothing itself: the lines it
// would say on stderr and in the trace go to its parent, which checks them
// and writes them where its own go, in their order among its own
// (diverted_lines.h).
#pragma once

#include <cstdint>
#include <string>

// The numbers are a reply record's kinds too, where 3 is the answer.
enum class LineKind : std::uint32_t {
    Error = 1, // a line for PrintErrorLine, without its "dorovivi: "
    Trace = 2, // a trace event, its closing brace and line end still to come
    TraceOff = 4, // the trace's file is evidence: the line to say, and no more tracing
};

typedef void (*LineDiverter)(LineKind kind, const std::string &text);

// From now on PrintErrorLine and TraceLine::Write hand their lines to
// `diverter` (null: written as usual).
void DivertLines(LineDiverter diverter);
LineDiverter DivertedLines();
