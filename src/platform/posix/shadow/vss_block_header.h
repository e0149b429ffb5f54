// The header every VSS structure starts with: the volume header at 0x1e00,
// and each 16 KiB block of the catalog and of a store's lists and bitmaps,
// which chain from one block to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/lower_volume.h"

const std::size_t VssBlockSize = 0x4000; // a catalog or store block, and the unit of copied data
const std::size_t VssBlockHeaderSize = 128;
const std::size_t VssIdentifierAt = 0;      // 16 bytes: VssIdentifier
const std::size_t VssVersionAt = 16;        // u32
const std::size_t VssRecordTypeAt = 20;     // u32
const std::size_t VssRelativeOffsetAt = 24; // u64: from the first block of its catalog or store
const std::size_t VssCurrentOffsetAt = 32;  // u64: the block's own offset on its volume
const std::size_t VssNextOffsetAt = 40;     // u64: the chain's next block; 0 at its end
const std::size_t VssStoreInfoSizeAt = 48;  // u64: a store header's information, after this header

// 3808876b-c176-4e48-b7ae-04046e6cc752, as stored.
const unsigned char VssIdentifier[16] = {0x6b, 0x87, 0x08, 0x38, 0x76, 0xc1, 0x48, 0x4e,
                                         0xb7, 0xae, 0x04, 0x04, 0x6e, 0x6c, 0xc7, 0x52};
const std::uint32_t VssBlockVersion = 1;

const std::uint32_t VssVolumeHeaderRecord = 1;
const std::uint32_t VssCatalogRecord = 2;
const std::uint32_t VssBlockListRecord = 3;
const std::uint32_t VssStoreHeaderRecord = 4;
const std::uint32_t VssRangeListRecord = 5;
const std::uint32_t VssBitmapRecord = 6;

// One chain of blocks on `volume`, read from `next` on.
struct VssChain {
    const LowerVolume *volume;
    std::uint32_t record;  // the record type each of its blocks has
    const char *what;      // its name in a fault: "catalog", "block list"...
    std::uint64_t next;    // the next block's offset; 0 past the last
    std::size_t most;      // blocks it may have: more is damage, not data
    std::set<std::uint64_t> seen;
};

// The block at `offset` of `volume` into `block` (VssBlockSize bytes),
// checked to be a VSS block of `record` type that knows its own offset.
// False with `fault`'s words naming `what` and the offset.
bool ReadVssBlock(const LowerVolume &volume, std::uint64_t offset, std::uint32_t record, const char *what,
                  unsigned char *block, Fault &fault);

// The chain's next block, `chain.next` moved on; false with `fault` where
// it cannot be read, comes round again, or runs past `most` blocks.
bool ReadNextVssBlock(VssChain &chain, unsigned char *block, Fault &fault);

// "0x1e00": offsets in faults, as a hex viewer shows them.
std::string HexOffset(std::uint64_t offset);
