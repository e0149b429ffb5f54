// A dynamic disk's metadata: the private header, which places the database,
// and in the database its table of contents, its header (VMDB) and its
// fixed-size records (VBLK). Integers are big-endian; offsets in bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Where a disk says it is dynamic: an MBR partition of this type, or on GPT
// the metadata partition, whose last sector holds the private header.
const unsigned char LdmMbrPartitionType = 0x42;
const unsigned char GptProtectiveType = 0xEE;
const char LdmMetadataType[] = "5808C8AA-7E8F-42E0-85D2-E1E90434CFB3";
const std::size_t GptHeaderSizeAt = 12;       // 4 bytes
const std::size_t GptHeaderLeast = 92;        // the fields through the entries' checksum
const std::size_t GptEntryLastSectorAt = 40;  // 8 bytes, inclusive
const std::uint32_t GptEntryCountMost = 1024; // as libldm takes them
const std::uint32_t GptEntrySizeMost = 1024;

// The private header: on MBR disks in sector 6.
const std::uint64_t PrivheadMbrSector = 6;
const char PrivheadMagic[] = "PRIVHEAD";
const std::size_t PrivheadDiskGuidAt = 0x30;  // text, 64 bytes
const std::size_t PrivheadHostGuidAt = 0x70;  // text, 64 bytes
const std::size_t PrivheadGroupGuidAt = 0xB0; // text, 64 bytes
const std::size_t PrivheadGuidTextSize = 64;
const std::size_t PrivheadConfigStartAt = 0x12B; // 8 bytes, sectors from the disk's start
const std::size_t PrivheadConfigSizeAt = 0x133;  // 8 bytes, sectors
const std::size_t PrivheadSize = 0x187;

// The database ("config"): its table of contents in its third sector.
const std::size_t TocblockSector = 2;
const char TocblockMagic[] = "TOCBLOCK";
const std::size_t TocblockBitmapsAt = 36;
const int TocblockBitmaps = 2;
const std::size_t TocBitmapSize = 34;
const char TocConfigName[] = "config"; // 8 bytes, NUL-padded
const std::size_t TocBitmapStartAt = 10; // 8 bytes, sectors from the database's start

const char VmdbMagic[] = "VMDB";
const std::size_t VmdbRecordSizeAt = 8;   // 4 bytes
const std::size_t VmdbFirstRecordAt = 12; // 4 bytes, from the VMDB's start
const std::size_t VmdbVolumeCountAt = 133; // 4 bytes each: volumes, components, partitions, disks
const int VmdbCounts = 4;
const std::size_t VmdbSize = 197;

const char VblkMagic[] = "VBLK";
const std::size_t VblkEntryAt = 12;       // 2 bytes: this entry's place in a record of several
const std::size_t VblkEntryCountAt = 14;  // 2 bytes
const std::size_t VblkHeadSize = 16;
const std::size_t VblkRecordTypeAt = 3;   // after the head; low 4 bits the kind, high the revision
const std::size_t VblkRecordHeadSize = 8;
const unsigned VblkComponentKind = 2;
