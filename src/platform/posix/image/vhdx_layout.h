// The VHDX structures this program reads (little-endian): the two headers,
// the region table, the metadata table and the parent locator. GUIDs are
// as stored, their first three fields little-endian.
#pragma once

#include <cstdint>

const char VhdxSignature[] = "vhdxfile";        // 8 bytes at 0
const unsigned VhdxHeaderAt[2] = {64 * 1024, 128 * 1024};
const unsigned VhdxHeaderSize = 4096;
const char VhdxHeaderSignature[] = "head";      // 4 bytes
const unsigned VhdxSequenceAt = 8;              // u64: the higher one is current
const unsigned VhdxDataWriteGuidAt = 32;        // 16 bytes: what a child's parent_linkage names
const unsigned VhdxRegionTableAt = 192 * 1024;
const unsigned VhdxRegionTableSize = 64 * 1024;
const char VhdxRegionSignature[] = "regi";
const unsigned VhdxRegionCountAt = 8;           // u32
const unsigned VhdxRegionEntriesAt = 16, VhdxRegionEntrySize = 32; // GUID, u64 offset, u32 length, u32 required
const unsigned VhdxMaxRegions = 2047;
const unsigned char VhdxMetadataRegion[16] = {0x06, 0xA2, 0x7C, 0x8B, 0x90, 0x47, 0x9A, 0x4B,
                                              0xB8, 0xFE, 0x57, 0x5F, 0x05, 0x0F, 0x88, 0x6E};
const char VhdxMetadataSignature[] = "metadata";
const unsigned VhdxMetadataCountAt = 10;        // u16
const unsigned VhdxMetadataEntriesAt = 32, VhdxMetadataEntrySize = 32; // GUID, u32 offset, u32 length, ...
const unsigned VhdxMaxMetadataEntries = 2047;
const unsigned char VhdxFileParametersItem[16] = {0x37, 0x67, 0xA1, 0xCA, 0x36, 0xFA, 0x43, 0x4D,
                                                  0xB3, 0xB6, 0x33, 0xF0, 0xAA, 0x44, 0xE7, 0x6B};
const std::uint32_t VhdxHasParentFlag = 2;      // in the file parameters' second u32
const unsigned char VhdxParentLocatorItem[16] = {0x2D, 0x5F, 0xD3, 0xA8, 0x0B, 0xB3, 0x4D, 0x45,
                                                 0xAB, 0xF7, 0xD3, 0xD8, 0x48, 0x34, 0xAB, 0x0C};
const unsigned VhdxLocatorCountAt = 18;         // u16, after the locator type GUID and two reserved bytes
const unsigned VhdxLocatorEntriesAt = 20, VhdxLocatorEntrySize = 12; // u32 key offset, u32 value offset, u16, u16
const unsigned VhdxMaxLocatorSize = 64 * 1024;
const unsigned char VhdxBatRegion[16] = {0x66, 0x77, 0xC2, 0x2D, 0x23, 0xF6, 0x00, 0x42,
                                         0x9D, 0x64, 0x11, 0x5E, 0x9B, 0xFD, 0x4A, 0x08};
const unsigned char VhdxLogicalSectorSizeItem[16] = {0x1D, 0xBF, 0x41, 0x81, 0x6F, 0xA9, 0x09, 0x47,
                                                     0xBA, 0x47, 0xF2, 0x33, 0xA8, 0xFA, 0xAB, 0x5F};
const unsigned char VhdxDiskSizeItem[16] = {0x24, 0x42, 0xA5, 0x2F, 0x1B, 0xCD, 0x76, 0x48,
                                            0xB2, 0x11, 0x5D, 0xBE, 0xD8, 0x3B, 0xF4, 0xB8};
// Block table entries: the state in the low 3 bits, the file offset in MiB from bit 20.
const std::uint64_t VhdxStateMask = 7, VhdxOffsetMask = ~((1ULL << 20) - 1);
const std::uint64_t VhdxBlockFullyPresent = 6, VhdxBlockPartiallyPresent = 7, VhdxBlockZero = 2;
const std::uint64_t VhdxMaxTableEntries = 1ULL << 26;
