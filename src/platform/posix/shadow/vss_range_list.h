// A store's range list: a chain of 16 KiB blocks of record type 5, each its
// header and entries of 24 bytes naming the extents of the difference area
// file on the volume holding it. Reading needs none of it; it is checked,
// as a store whose list points off its volume is damaged.
#pragma once

#include <cstdint>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/lower_volume.h"

const std::size_t VssRangeEntrySize = 24;
const std::size_t VssRangeOffsetAt = 0;   // u64: on the volume holding the difference area
const std::size_t VssRangeRelativeAt = 8; // u64: from the difference area file's start
const std::size_t VssRangeSizeAt = 16;    // u64: bytes
// A difference area file in more pieces than this is taken for damage.
const std::size_t VssRangeListMostBlocks = 1024;

// False with `fault`'s words where the list at `offset` cannot be read or
// names a range past the end of `area`.
bool CheckVssRangeList(const LowerVolume &area, std::uint64_t offset, Fault &fault);
