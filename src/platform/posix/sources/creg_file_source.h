// HKLM from a Windows 95/98/Me SYSTEM.DAT (the CREG format), read only.
#pragma once

#include "platform/posix/base/file_bytes.h"
#include "platform/posix/sources/registry_source.h"

// Reads `bytes` and returns a source kept for the life of the process, or
// nullptr with `fault` set to a short text when the file cannot serve; the
// caller names the file.
RegistrySource *OpenCregFileSource(const FileBytes &bytes, Fault &fault);
