// The metadata header, 48 bytes after the block header: the size of the
// header and its entries, the volume's identifier, its encryption method
// and when it was made.
#pragma once

#include <cstddef>
#include <cstdint>

const std::size_t FveMetadataHeaderSize = 48;
const std::size_t FveMetadataSizeAt = 0;      // u32: header and entries
const std::size_t FveMetadataVersionAt = 4;   // u32: 1
const std::size_t FveMetadataHeaderSizeAt = 8; // u32: 48
const std::size_t FveMetadataGuidAt = 16;     // 16 bytes
const std::size_t FveMetadataMethodAt = 36;   // u16 of the u32: the upper half varies
const std::size_t FveMetadataCreatedAt = 40;  // u64 FILETIME
const std::uint32_t FveMetadataVersion = 1;

// Encryption methods of the sectors (and, below 0x8000, of keys).
const std::uint16_t FveMethodNone = 0;
const std::uint16_t FveMethodAesCbc128Diffuser = 0x8000;
const std::uint16_t FveMethodAesCbc256Diffuser = 0x8001;
const std::uint16_t FveMethodAesCbc128 = 0x8002;
const std::uint16_t FveMethodAesCbc256 = 0x8003;
const std::uint16_t FveMethodAesXts128 = 0x8004;
const std::uint16_t FveMethodAesXts256 = 0x8005;
