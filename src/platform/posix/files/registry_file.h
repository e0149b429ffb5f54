// A registry file as a root hands it over: one name for every message, and
// its bytes, open and read by position, or why it could not be opened.
#pragma once

#include <memory>
#include <string>

#include "platform/posix/base/file_bytes.h"

struct RegistryFile {
    std::string name;                       // a host path, or "<image>: partition(1)\WINDOWS\..."
    std::shared_ptr<const FileBytes> bytes; // null when it could not be opened
    std::string unopened;                   // then why ("Permission denied", "larger than 64 MiB")

    bool Open() const { return bytes != nullptr; }
};

// A host file as a drive hands it over, opened once: one that cannot be is
// named with why, beside the rest.
inline RegistryFile HostRegistryFile(const std::string &path)
{
    RegistryFile file;
    file.name = path;
    Fault fault;
    file.bytes = OpenHostFileBytes(path, fault);
    file.unopened = fault.words;
    return file;
}
