// The encrypt-on-write information block ("FVE-EOW"), kept twice at the
// offsets the volume header gives after its metadata copies: the chunk size
// the conversion works in, the size of each region's conversion log, and
// where each region's bitmap block lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

const char FveEowSignature[] = "FVE-EOW"; // and its NUL: 8 bytes
const std::size_t FveEowSignatureSize = 8;
const std::size_t FveEowHeaderSizeAt = 8;   // u16: 56
const std::size_t FveEowSizeAt = 10;        // u16: header and bitmap offsets
const std::size_t FveEowSectorSizeAt = 12;  // u32
const std::size_t FveEowChunkSizeAt = 20;   // u32: bytes each bitmap bit stands for
const std::size_t FveEowConvLogSizeAt = 24; // u32: bytes of each region's conversion log
const std::size_t FveEowRegionCountAt = 32; // u32
const std::size_t FveEowCrcAt = 36;         // u32: CRC-32 of Size bytes, itself as zeros
const std::size_t FveEowCopiesAt = 40;      // two u64: both copies' offsets
const std::size_t FveEowHeaderSize = 56;    // then a u64 offset of each region's bitmap block

struct FveEowInformation {
    std::uint32_t size = 0;       // bytes the block takes
    std::uint32_t chunkSize = 0;
    std::uint32_t convLogSize = 0;
    std::vector<std::uint64_t> bitmapAt;
};

// The information block in `block` (`size` bytes read, at least its Size);
// false where its signature, sizes or CRC-32 do not hold, or its chunks are
// not whole sectors of `sectorSize`.
bool ReadFveEowInformation(const unsigned char *block, std::size_t size, std::uint32_t sectorSize,
                           FveEowInformation &information);
