// The one Windows system the emulation stands in for: the system root as a
// child parses it, its registry, the view a 32-bit program has of it, and
// where its atom table lives, each looked at once per process.
#pragma once

#include <string>

#include "platform/posix/base/trace_line.h"
#include "platform/posix/sources/registry_source.h"

// The registry of the system root, as the child that parses it answers.
const RegistrySource &SystemRegistry();

// Where the 32-bit program's open of `path` (below HKLM) lands: WOW64's view
// on a 64-bit installation, else `path` itself.
std::string PathInSystemView(const std::string &path);

// DOROVIVI_ATOMS, the emulation root's own table, or the per-user one; false
// with one stderr line when the per-user directory cannot serve.
bool SystemAtomTablePath(std::string &path);

// Whether the provenance trace is on. DOROVIVI_TRACE is read on the first
// call, before the root is looked at; later calls cost one comparison.
void StartSystemTrace();
inline bool SystemTracing()
{
    if (TraceFd == TraceNotStarted)
        StartSystemTrace();
    return Tracing();
}

// Closes what the system holds and makes the next call look at the root
// again. The program never calls it; harnesses that run many systems in one
// process do.
void ResetEmulatedSystem();
