// Where the provenance trace goes: DOROVIVI_TRACE read once, and refused
// where writing it would write into the evidence.
#pragma once

#include <string>

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
