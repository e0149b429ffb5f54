// What the CREG file tests share: byte strings with NULs, and a source
// opened from bytes in memory, as a SYSTEM.DAT inside a disk image comes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/posix/sources/creg_file_source.h"

inline std::string S(const char *bytes, std::size_t size) { return std::string(bytes, size); }

inline std::unique_ptr<RegistrySource> Open(const std::string &bytes, Fault &fault)
{
    MemoryFileBytes file(bytes.data(), bytes.size());
    return std::unique_ptr<RegistrySource>(OpenCregFileSource(file, fault));
}
