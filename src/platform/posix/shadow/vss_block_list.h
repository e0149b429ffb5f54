// A store's block list: a chain of 16 KiB blocks of record type 3, each its
// header and descriptors of 32 bytes. A descriptor says where the old bytes
// of one 16 KiB block of the copied volume went: copied into the difference
// area, forwarded to another block, or partly copied (an overlay, in
// 512-byte sectors). Later descriptors of a block amend earlier ones.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/lower_volume.h"

const std::size_t VssDescriptorSize = 32;
const std::size_t VssDescriptorOriginalAt = 0; // u64: the copied volume's offset of the block
const std::size_t VssDescriptorRelativeAt = 8; // u64: a forwarder's target on the copied volume
const std::size_t VssDescriptorDataAt = 16;    // u64: the old bytes, on the volume holding them
const std::size_t VssDescriptorFlagsAt = 24;   // u32
const std::size_t VssDescriptorSectorsAt = 28; // u32: an overlay's 512-byte sectors, lowest bit first
const std::uint32_t VssBlockForwarder = 0x1;
const std::uint32_t VssBlockOverlay = 0x2;
const std::uint32_t VssBlockNotUsed = 0x4;
const std::size_t VssOverlaySector = 512;

struct VssBlockDescriptor {
    std::uint64_t original, relative, data;
    std::uint32_t flags, sectors;
};

// Takes one descriptor; false with `fault`'s words to stop the list.
typedef bool (*TakeDescriptor)(void *taker, const VssBlockDescriptor &descriptor, Fault &fault);

// Hands each descriptor of the list at `offset` (all but the empty ones) to
// `take`, in the list's order. `budget` is what may still be taken, and is
// lessened by what was: a list past it is refused.
bool ReadVssBlockList(const LowerVolume &area, std::uint64_t offset, std::size_t &budget, TakeDescriptor take,
                      void *taker, Fault &fault);
