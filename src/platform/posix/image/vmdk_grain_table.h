// The grain directory and grain tables of a hosted sparse VMDK extent:
// arrays of little-endian u32 sector numbers. A directory entry locates a
// grain table (0: none, its grains absent); a table entry locates a grain.
#pragma once

#include <cstdint>

const unsigned VmdkGrainEntrySize = 4;
const std::uint32_t VmdkGrainAbsent = 0; // read from the parent, or as zeros where there is none
const std::uint32_t VmdkGrainZeroed = 1; // with VmdkFlagZeroedGrain: reads as zeros
