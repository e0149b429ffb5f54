// An encrypt-on-write bitmap block ("FVE-EOWBM"), one a region of the
// volume: where the region lies, where its conversion log is, and where in
// the block its two bitmap records are (the one written last counts).
#pragma once

#include <cstddef>
#include <cstdint>

const char FveEowBitmapSignature[] = "FVE-EOWBM"; // and its NUL: 10 bytes
const std::size_t FveEowBitmapSignatureSize = 10;
const std::size_t FveEowBitmapHeaderSizeAt = 10; // u16: 60
const std::size_t FveEowBitmapSizeAt = 12;       // u32: header and records
const std::size_t FveEowBitmapIndexAt = 16;      // u32: the region's place in the list
const std::size_t FveEowBitmapRegionAt = 20;     // u64: offset in the volume
const std::size_t FveEowBitmapRegionSizeAt = 28; // u64: bytes
const std::size_t FveEowBitmapConvLogAt = 36;    // u64: the region's conversion log
const std::size_t FveEowBitmapRecordsAt = 44;    // two u32: from the block's start
const std::size_t FveEowBitmapRecordSizeAt = 52; // u32: room for each record
const std::size_t FveEowBitmapCrcAt = 56;        // u32: CRC-32 up to the first record, itself as zeros
const std::size_t FveEowBitmapHeaderSize = 60;
const int FveEowBitmapRecords = 2;
const std::uint32_t FveEowBitmapMost = 1 << 20; // bytes; Windows writes 1.5 KiB

struct FveEowBitmap {
    std::uint32_t size = 0;
    std::uint64_t regionAt = 0, regionSize = 0;
    std::uint64_t convLogAt = 0;
    std::uint32_t recordAt[FveEowBitmapRecords] = {0, 0};
    std::uint32_t recordSize = 0;
};

// The head of the bitmap block in `block` (`size` bytes); false where it is
// not one, or its records do not fit within FveEowBitmapMost.
bool ReadFveEowBitmapHead(const unsigned char *block, std::size_t size, std::uint32_t index, FveEowBitmap &bitmap);

// Whether the block (bitmap.size bytes in `block`) matches its CRC-32.
bool FveEowBitmapIsValid(const unsigned char *block, const FveEowBitmap &bitmap);
