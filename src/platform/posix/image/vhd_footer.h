// The VHD footer and dynamic disk header (big-endian), the fields this
// program reads, and the parent locators of a differencing disk.
#pragma once

#include <cstdint>

const unsigned VhdFooterSize = 512;
const char VhdFooterCookie[] = "conectix";   // 8 bytes at 0
const unsigned VhdDataOffsetAt = 16;          // u64: the dynamic header's file offset
const unsigned VhdCurrentSizeAt = 48;         // u64
const unsigned VhdDiskTypeAt = 60;            // u32
const unsigned VhdFooterChecksumAt = 64;      // u32: ones' complement of the byte sum, this field as zeros
const std::uint32_t VhdTypeFixed = 2, VhdTypeDynamic = 3, VhdTypeDifferencing = 4;
const unsigned VhdUniqueIdAt = 68;            // 16 bytes
const unsigned VhdIdSize = 16;

const unsigned VhdDynamicHeaderSize = 1024;
const char VhdDynamicCookie[] = "cxsparse";  // 8 bytes at 0
const unsigned VhdTableOffsetAt = 16;         // u64: the block allocation table
const unsigned VhdMaxTableEntriesAt = 28;     // u32
const unsigned VhdBlockSizeAt = 32;           // u32
const unsigned VhdHeaderChecksumAt = 36;      // u32, as the footer's
const unsigned VhdParentIdAt = 40;            // 16 bytes: the parent footer's unique id
const unsigned VhdParentNameAt = 64;          // UTF-16BE, NUL-padded: the parent's file name
const unsigned VhdParentNameSize = 512;
const unsigned VhdLocatorsAt = 576;           // 8 entries of 24 bytes
const unsigned VhdLocatorCount = 8, VhdLocatorSize = 24;
const unsigned VhdLocatorCodeAt = 0;          // u32: the platform, below
const unsigned VhdLocatorLengthAt = 8;        // u32: bytes of data
const unsigned VhdLocatorOffsetAt = 16;       // u64: file offset of the data
const std::uint32_t VhdPlatformRelative = 0x57327275; // "W2ru": UTF-16LE, relative to the child
const std::uint32_t VhdPlatformAbsolute = 0x57326B75; // "W2ku": UTF-16LE, absolute
const std::uint32_t VhdMaxLocatorLength = 8192;
const std::uint32_t VhdUnusedBlock = 0xFFFFFFFF;
const std::uint32_t VhdMaxBlockSize = 1u << 28;
