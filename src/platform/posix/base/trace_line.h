// The provenance trace: with DOROVIVI_TRACE set, one JSON object a line for
// each fact an answer rests on (the root, the installation, each registry
// file and its digest, every open and query), so that a user holding
// evidence can say where each answer came from. Off, it costs one test of
// TraceFd.
#pragma once

#include <string>
#include <string_view>
#include <vector>

const int TraceNotStarted = -2;
extern int TraceFd; // TraceNotStarted, -1 when off, else where lines go

inline bool Tracing()
{
    return TraceFd >= 0;
}

// While the root's evidence is not yet known, the program's trace lines
// wait in memory, so that a trace found to be one of its files has had
// nothing written to it. Release writes them in one go.
void HoldTrace();
void ReleaseTrace();
void DropHeldTrace();

// Whether DOROVIVI_TRACE is "-": the trace, once started, goes to stderr.
bool TraceSettingIsStderr();

// `bytes` as a JSON string: `"` and `\` escaped, control characters as
// \n, \r, \t or \u00XX, valid UTF-8 as it is, and every byte that is not
// part of valid UTF-8 as \u00XX of the byte (so \u0080 to \u00ff stand only
// for such bytes, never for a character).
void AppendJsonString(std::string &out, std::string_view bytes);

// One trace line, built field by field in the order given.
struct TraceLine {
    std::string text;
    explicit TraceLine(const char *event);
    TraceLine &Text(const char *field, std::string_view value);
    TraceLine &Number(const char *field, long long value);
    TraceLine &Null(const char *field);
    TraceLine &List(const char *field, const std::vector<std::string> &items);
    TraceLine &Lists(const char *field, const std::vector<std::vector<std::string>> &lists);
    // A value already written as JSON (a list of objects built with AppendJsonString).
    TraceLine &Json(const char *field, const std::string &json);
    // Ends the object and writes the line with one write(2) where the
    // system takes it whole, as it does for a file opened to append, so
    // lines of runs appending to one file never mix; the rest of a short
    // write follows it.
    void Write();
    // The same, to `fd`, whether tracing or not.
    void WriteTo(int fd);
};
