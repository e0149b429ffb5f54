// One member of a Microsoft cabinet, decompressed into memory by libmspack,
// which reads the cabinet only through the FileBytes it is handed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/files/registry_file.h"

// Windows 9x kept SYSTEM.DAT to a few megabytes.
constexpr std::uint64_t kCabinetMemberLargest = 64ull << 20;

// The member `member` (any case) of `cabinet`, named "<cabinet>: <member>";
// where it cannot be had, no bytes and `unopened` says why in one line.
RegistryFile CabinetMemberFile(const RegistryFile &cabinet, const std::string &member);
