// HKLM from a Windows 95/98/Me SYSTEM.DAT (the CREG format), read only.
#pragma once

#include <string>

#include "platform/posix/base/file_bytes.h"
#include "platform/posix/sources/registry_source.h"

// Reads `bytes` and returns a source kept for the life of the process, or
// nullptr with `problem` set to a short text when the file cannot serve.
RegistrySource *OpenCregFileSource(const FileBytes &bytes, std::string &problem);
