// A restore point's rp.log (Windows XP/2003 System Restore): the restore
// point information an installer handed to the system, then the point's
// creation time as the file's last eight bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/base/fault.h"

constexpr std::size_t kRpLogEventTypeAt = 0;
constexpr std::size_t kRpLogPointTypeAt = 4;
constexpr std::size_t kRpLogSequenceAt = 8;
constexpr std::size_t kRpLogDescriptionAt = 16;   // UTF-16LE, ended by a NUL unit
constexpr std::size_t kRpLogDescriptionSize = 512; // 256 units at most
constexpr std::size_t kRpLogCreationTimeSize = 8; // FILETIME, UTC, the file's last bytes
constexpr std::size_t kRpLogLeast = kRpLogDescriptionAt + 2 + kRpLogCreationTimeSize;
constexpr std::size_t kRpLogLargest = 4096; // XP writes 536 bytes

struct RestorePointLog {
    std::uint32_t pointType = 0;
    std::string description; // UTF-8
    std::uint64_t created = 0;
};

// The `size` bytes of a whole rp.log; false with `fault` words saying what
// is wrong.
bool ReadRestorePointLog(const unsigned char *bytes, std::size_t size, RestorePointLog &log, Fault &fault);
