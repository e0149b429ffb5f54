// The one Windows system the emulation stands in for, one state for the
// run: where its root is, the trace, the root as a child parses it, the view
// a 32-bit program has of it, and where its atom table lives.
#pragma once

#include <string>

#include "platform/posix/sources/registry_source.h"

// The run's start, made by every entry point before anything else: reads
// DOROVIVI_ROOT and DOROVIVI_WINDIR and starts the trace (DOROVIVI_TRACE),
// so that all below it knows whether it traces. Once started, it costs one
// test; the root itself is read at the first question about it.
void StartEmulatedSystem();

// The registry of the system root, as the child that parses it answers.
const RegistrySource &SystemRegistry();

// Where the 32-bit program's open of `path` (below HKLM) lands: WOW64's view
// on a 64-bit installation, else `path` itself.
std::string PathInSystemView(const std::string &path);

// DOROVIVI_ATOMS, the emulation root's own table, or the per-user one; false
// with one stderr line when the per-user directory cannot serve.
bool SystemAtomTablePath(std::string &path);

// The run's open keys, by slot: a key opened at `path` (below HKLM) takes
// the first free slot (false when all are taken); a slot names its path
// until closed. A reset closes them all.
const unsigned kSystemKeySlots = 64;
bool OpenSystemKey(const std::string &path, unsigned &slot);
const std::string *PathOfSystemKey(unsigned slot);
bool CloseSystemKey(unsigned slot);

// Stops what the system holds (the trace, the root's child, the open keys) and makes the
// next start read the environment again. The program never calls it;
// harnesses that run many systems in one process do.
void ResetEmulatedSystem();
