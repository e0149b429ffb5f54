// The VSS volume header, in the NTFS boot area at 0x1e00: whether the
// volume has shadow copies, where its catalog is, and which volume holds
// their difference area.
#pragma once

#include <cstdint>

#include "platform/posix/base/guid_text.h"
#include "platform/posix/base/lower_volume.h"

const std::uint64_t VssVolumeHeaderAt = 0x1e00;
const std::size_t VssVolumeHeaderSize = 512;
// After the block header's identifier, version (1 up to Windows 7, 2 since
// Windows 8), record type 1 and its own offset:
const std::size_t VssCatalogOffsetAt = 48;    // u64: the catalog's first block; 0 for none
const std::size_t VssMaximumSizeAt = 56;      // u64: the difference area's limit; 0 for none
const std::size_t VssVolumeIdentifierAt = 64; // 16 bytes: this volume's GUID
const std::size_t VssStorageIdentifierAt = 80; // 16 bytes: the GUID of the volume holding the difference area
const std::uint32_t VssVolumeVersionFirst = 1, VssVolumeVersionLast = 2;

struct VssVolumeHeader {
    std::uint64_t catalogAt = 0;
    unsigned char volume[GuidSize] = {};
    unsigned char storage[GuidSize] = {};
};

// False where the volume has no VSS header (no shadow copies) or one of a
// version not read here, `version` then its number, 0 for no header at all.
bool ReadVssVolumeHeader(const LowerVolume &volume, VssVolumeHeader &header, std::uint32_t &version);

// Whether the difference area lies on the volume itself: the storage GUID
// is its own, or none.
bool DifferenceAreaIsHere(const VssVolumeHeader &header);
