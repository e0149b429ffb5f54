// The catalog: a chain of 16 KiB blocks, each its header and 127 entries
// of 128 bytes. A store has an entry of type 2 in the catalog of the volume
// it copies and one of type 3 in the catalog of the volume that holds its
// difference area (the same catalog where that is the volume itself).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/guid_text.h"
#include "platform/posix/base/lower_volume.h"

const std::size_t VssCatalogEntrySize = 128;
const std::size_t VssCatalogEntryTypeAt = 0; // u64
const std::uint64_t VssEntryEmpty = 0, VssEntryUnused = 1, VssEntryStore = 2, VssEntryLocation = 3;
// Type 2: the store as the copied volume knows it.
const std::size_t VssStoreVolumeSizeAt = 8;    // u64: the volume's size when copied
const std::size_t VssStoreIdentifierAt = 16;   // 16 bytes, in both types
const std::size_t VssStoreSequenceAt = 32;     // u64
const std::size_t VssStoreCreationTimeAt = 48; // u64: FILETIME, UTC
// Type 3: where its structures lie on the volume holding them.
const std::size_t VssLocationBlockListAt = 8;       // u64
const std::size_t VssLocationHeaderAt = 32;         // u64
const std::size_t VssLocationRangeListAt = 40;      // u64
const std::size_t VssLocationBitmapAt = 48;         // u64
const std::size_t VssLocationPreviousBitmapAt = 72; // u64: 0 for none
// Windows keeps 64 shadow copies of a volume (512 on a server); a catalog
// of four blocks holds them.
const std::size_t VssCatalogMostBlocks = 64;

struct VssStoreEntry {
    unsigned char store[GuidSize];
    std::uint64_t volumeSize, sequence, creationTime;
};

struct VssStoreLocation {
    unsigned char store[GuidSize];
    std::uint64_t blockListAt, headerAt, rangeListAt, bitmapAt, previousBitmapAt;
};

// The entries of types 2 and 3 of the catalog at `catalogAt`, in its order;
// false with `fault`'s words where its chain cannot be read.
bool ReadVssCatalog(const LowerVolume &volume, std::uint64_t catalogAt, std::vector<VssStoreEntry> &stores,
                    std::vector<VssStoreLocation> &locations, Fault &fault);
