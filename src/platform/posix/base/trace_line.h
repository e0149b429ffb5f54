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

// Reads DOROVIVI_TRACE, once: unset or "" traces nothing, "-" traces to
// stderr, a path appends to that file. A path TracePathRefusal refuses,
// or one that cannot be opened, costs one stderr line and traces nothing.
void StartTrace(const std::string &root);

// Closes a trace file; the next StartTrace reads the variable again.
// Harnesses that run many systems in one process call it.
void StopTrace();

// Why a trace written to `path` would write into evidence: it lies inside
// the directory `root` (real paths compared), is the disk image `root` is
// or a segment beside it, or is a block device; "" when it would not.
std::string TracePathRefusal(const std::string &path, const std::string &root);

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
    // Ends the object and writes the line with one write(2), so lines of
    // runs appending to one file never mix.
    void Write();
};
