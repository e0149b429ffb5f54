// Where the provenance trace goes: DOROVIVI_TRACE read once, and refused
// where writing it would write into the evidence.
#pragma once

#include <string>

// Reads DOROVIVI_TRACE, once: unset or "" traces nothing, "-" traces to
// stderr, a path appends to that file. A path TracePathRefusal refuses, a
// file that is not empty and does not begin with a trace's '{', or one that
// cannot be opened, costs one stderr line and traces nothing.
void StartTrace(const std::string &root);

// Whether a trace file is open, and whether `fd` is that very file, under
// whatever name it was reached (a link, a second mount).
bool TraceFileKnown();
bool IsTraceFile(int fd);

// The trace's file is the evidence at `path`: tracing stops before another
// byte is written there, and the run says so once. A child hands the line
// to the program (LineKind::TraceOff), which stops its trace.
void SayTraceIsEvidence(const std::string &path);

// The program's side: stops the trace, dropping what it holds unwritten,
// and says `line` unless a line like it was said already ("" says nothing).
void StopTraceAsEvidence(const std::string &line);

// Closes a trace file; the next StartTrace reads the variable again.
// Harnesses that run many systems in one process call it.
void StopTrace();

// Why a trace written to `path` would write into evidence: it lies inside
// the directory `root` (real paths compared), is the disk image `root` is
// or a segment beside it, or is a block device; "" when it would not.
std::string TracePathRefusal(const std::string &path, const std::string &root);
