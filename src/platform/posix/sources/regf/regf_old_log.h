// An old-format transaction log (NT 3.51 to Windows 8): the first sector of
// the base block, the dirty vector in the next sector, then the dirty
// sectors of hive bins data, back to back, in bitmap order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/sources/regf/regf_base_block.h"

constexpr std::size_t kRegfDirtyVectorSignatureSize = 4; // "DIRT"
constexpr std::size_t kRegfDirtySectorSize = 512;        // one bitmap bit each
constexpr std::uint32_t kRegfLargestClusteringFactor = 8; // 4096-byte disk sectors

struct RegfOldLog {
    RegfBaseBlock base;
    const unsigned char *bitmap = nullptr;
    std::size_t bitmapBits = 0;
    const unsigned char *sectors = nullptr; // the dirty sectors, in bitmap order
    std::size_t sectorCount = 0;
};

// A run of dirty sectors adjacent in the hive, and so in the log too.
struct RegfDirtyRun {
    std::uint64_t binsOffset = 0; // from the start of the hive bins data
    const unsigned char *bytes = nullptr;
    std::size_t size = 0;
};

// Reads the dirty vector of a log whose base block is `log.base`; false with
// `problem` in the format's words when it cannot be used.
bool ReadRegfOldLog(const unsigned char *bytes, std::size_t size, RegfOldLog &log, const char *&problem);

// The run from bit `bit` on, advancing `bit` and `sector` past it; false at
// the bitmap's end.
bool NextRegfDirtyRun(const RegfOldLog &log, std::size_t &bit, std::size_t &sector, RegfDirtyRun &run);
