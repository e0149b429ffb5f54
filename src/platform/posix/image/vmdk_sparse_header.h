// The header of a hosted sparse VMDK extent (little-endian, the first sector
// of the extent file), the fields this program reads. Offsets and sizes
// counted in sectors are of VmdkSectorSize bytes.
#pragma once

#include <cstdint>

const unsigned VmdkSectorSize = 512;
const unsigned VmdkSparseHeaderSize = 512;
const unsigned char VmdkSparseMagic[4] = {'K', 'D', 'M', 'V'};
const unsigned VmdkVersionAt = 4;              // u32: 1 to 3
const std::uint32_t VmdkMaxVersion = 3;
const unsigned VmdkFlagsAt = 8;                // u32, below
const std::uint32_t VmdkFlagZeroedGrain = 1u << 2;      // a grain table entry of 1 reads as zeros
const std::uint32_t VmdkFlagCompressedGrains = 1u << 16; // stream-optimized: grains deflated
const std::uint32_t VmdkFlagMarkers = 1u << 17;          // stream-optimized: markers between grains
const unsigned VmdkCapacityAt = 12;            // u64: sectors of disk the extent holds
const unsigned VmdkGrainSizeAt = 20;           // u64: sectors per grain
const std::uint64_t VmdkMaxGrainSectors = 1u << 21; // 1 GiB, far above any writer's
const unsigned VmdkGrainTableEntriesAt = 44;   // u32: entries per grain table
const std::uint32_t VmdkMaxGrainTableEntries = 512; // the format's own count
const unsigned VmdkGrainDirectoryAt = 56;      // u64: sector of the grain directory
const std::uint64_t VmdkGrainDirectoryAtEnd = 0xFFFFFFFFFFFFFFFFULL; // stream-optimized: in a footer
