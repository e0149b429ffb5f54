// The validation after each metadata copy: a CRC-32 of the copy (block
// header, metadata header and entries, to the size the block header gives),
// then an AES-CCM sealed digest this reader does not need.
#pragma once

#include <cstddef>
#include <cstdint>

const std::size_t FveValidationVersionAt = 2; // u16
const std::size_t FveValidationCrcAt = 4;     // u32
const std::size_t FveValidationHeadSize = 8;

// The CRC-32 (IEEE 802.3, as zlib's) of `size` bytes.
std::uint32_t FveCrc32(const unsigned char *bytes, std::size_t size);

// The CRC-32 of `size` bytes as though the four at `crcAt` (within them)
// were zeros: how the encrypt-on-write structures check themselves.
std::uint32_t FveCrc32Without(const unsigned char *bytes, std::size_t size, std::size_t crcAt);

// Whether the copy in `block` (`size` bytes, the validation right after)
// matches its CRC-32.
bool FveCopyIsValid(const unsigned char *block, std::size_t size);
