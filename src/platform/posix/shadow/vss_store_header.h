// A store's header: a block of record type 4 whose store information, after
// the block header, names the shadow copy and the set it was made in.
#pragma once

#include <cstdint>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/guid_text.h"
#include "platform/posix/base/lower_volume.h"

// From the store information's start (the block header's end):
const std::size_t VssInfoCopyIdentifierAt = 16; // 16 bytes: the shadow copy's GUID
const std::size_t VssInfoSetIdentifierAt = 32;  // 16 bytes: its shadow copy set's
const std::size_t VssInfoAttributesAt = 56;     // u32: VSS_VOLUME_SNAPSHOT_ATTRIBUTES
const std::size_t VssInfoLeast = 64;            // the fields above, then machine names

struct VssStoreHeader {
    unsigned char copy[GuidSize];
};

// The header at `offset` of the volume holding the difference area; false
// with `fault`'s words where it cannot be read or its information is cut short.
bool ReadVssStoreHeader(const LowerVolume &area, std::uint64_t offset, VssStoreHeader &header, Fault &fault);
