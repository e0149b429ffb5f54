// A bitmap record ("FVE-EOWBR") within a bitmap block: one bit a chunk of
// the region, from its start, lowest bit first; a set bit is a chunk
// already encrypted. Of a block's two records the one with the higher
// sequence number was written last.
#pragma once

#include <cstddef>
#include <cstdint>

const char FveEowRecordSignature[] = "FVE-EOWBR"; // and its NUL: 10 bytes
const std::size_t FveEowRecordSignatureSize = 10;
const std::size_t FveEowRecordHeaderSizeAt = 10; // u16: 36; the bits follow
const std::size_t FveEowRecordSizeAt = 12;       // u32: header and bits
const std::size_t FveEowRecordBitsAt = 16;       // u32: chunks the bitmap holds
const std::size_t FveEowRecordSequenceAt = 20;   // u64
const std::size_t FveEowRecordCrcAt = 32;        // u32: CRC-32 of Size bytes, itself as zeros
const std::size_t FveEowRecordHeaderSize = 36;

struct FveEowRecord {
    std::uint64_t sequence = 0;
    std::uint32_t bits = 0;
    const unsigned char *bitmap = nullptr; // within the block read
};

// The record in `record` (`room` bytes); false where it is not one, its
// bits do not fit it, or it does not match its CRC-32.
bool ReadFveEowRecord(const unsigned char *record, std::size_t room, FveEowRecord &read);
