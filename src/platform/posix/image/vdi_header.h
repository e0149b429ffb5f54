// The VDI header of VirtualBox, version 1.1, little-endian: the fields this
// program reads, at their offsets from the start of the file.
#pragma once

#include <cstdint>

const unsigned VdiSignatureAt = 0x40;            // u32
const std::uint32_t VdiSignature = 0xBEDA107F;
const unsigned VdiVersionAt = 0x44;              // u32: major << 16 | minor
const std::uint32_t VdiVersion11 = 0x00010001;
const unsigned VdiHeaderSizeAt = 0x48;           // u32: bytes from here on
const std::uint32_t VdiMinHeaderSize = 0x180;
const unsigned VdiImageTypeAt = 0x4C;            // u32
const std::uint32_t VdiTypeDynamic = 1;
const std::uint32_t VdiTypeFixed = 2;
const std::uint32_t VdiTypeDifferencing = 4;
const unsigned VdiBlockMapAt = 0x154;            // u32: file offset of the block map
const unsigned VdiDataAt = 0x158;                // u32: file offset of block 0
const unsigned VdiDiskSizeAt = 0x170;            // u64: bytes
const unsigned VdiBlockSizeAt = 0x178;           // u32: data bytes a block
const unsigned VdiBlockExtraAt = 0x17C;          // u32: bytes before each block's data
const unsigned VdiBlockCountAt = 0x180;          // u32: block map entries
const unsigned VdiAllocatedBlocksAt = 0x184;     // u32
const unsigned VdiCreateUuidAt = 0x188;          // 16 bytes: this image
const unsigned VdiModifyUuidAt = 0x198;          // 16 bytes
const unsigned VdiLinkageUuidAt = 0x1A8;         // 16 bytes: the parent's creation UUID
const unsigned VdiParentModifyUuidAt = 0x1B8;    // 16 bytes
const unsigned VdiHeaderEnd = 0x1C8;             // the fields above end here
const unsigned VdiUuidSize = 16;

// Block map entries: the block's index among the allocated ones, or these.
const std::uint32_t VdiBlockFree = 0xFFFFFFFF; // not here: the parent's, or zeros without one
const std::uint32_t VdiBlockZero = 0xFFFFFFFE; // zeros

// Sane bounds: VirtualBox writes 1 MiB blocks; a disk is at most 2^48 bytes here.
const std::uint32_t VdiMinBlockSize = 512;
const std::uint32_t VdiMaxBlockSize = 1u << 28;
const std::uint32_t VdiMaxBlockExtra = 1u << 20;
const std::uint64_t VdiMaxDiskSize = 1ULL << 48;
