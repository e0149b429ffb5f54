// Where a hive's bytes come from: any positional source. A reader asks only
// for the cells a lookup touches, never for the whole file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/base/file_bytes.h"

struct HiveReplay;

using HiveBytes = FileBytes;
using MemoryHiveBytes = MemoryFileBytes;

// A replayed hive: its overlay pages (a later one winning) and base block
// over the primary, which is `primarySize` long; past it the hive reads as
// zeros. Nothing is copied: each read takes the primary's bytes and lays the
// pages it meets over them.
struct OverlayHiveBytes final : HiveBytes {
    OverlayHiveBytes(const HiveBytes &primary, std::uint64_t primaryLength, const HiveReplay &overlay)
        : below(primary), primarySize(primaryLength), replay(overlay) {}
    bool ReadAt(std::uint64_t fileOffset, void *buffer, std::size_t size) const override;
    std::uint64_t Size() const override;
    const HiveBytes &below;
    std::uint64_t primarySize;
    const HiveReplay &replay;
};
