// The qcow2 header as qemu lays it out (big-endian), the fields this
// program reads.
#pragma once

#include <cstdint>

const unsigned char QcowMagic[4] = {'Q', 'F', 'I', 0xfb};
const unsigned QcowVersionAt = 4;                     // u32: 2 or 3
const unsigned QcowBackingNameOffsetAt = 8;           // u64: where the backing file's name lies, 0 for none
const unsigned QcowBackingNameSizeAt = 16;            // u32: its length, no terminator
const unsigned QcowClusterBitsAt = 20;                // u32
const unsigned QcowMinClusterBits = 9;                // 512 B, qemu's smallest
const unsigned QcowMaxClusterBits = 21;               // 2 MiB, its largest
const unsigned QcowL1SizeAt = 36;                     // u32: entries
const unsigned QcowL1OffsetAt = 40;                   // u64
const unsigned QcowCryptMethodAt = 32;                // u32: 0 for none
const unsigned QcowRefcountOffsetAt = 48;             // u64
const unsigned QcowRefcountClustersAt = 56;           // u32
const unsigned QcowVersion2HeaderSize = 72;           // where extensions start in version 2
const unsigned QcowIncompatibleFeaturesAt = 72;       // u64, version 3
// Dirty and corrupt leave the tables as this program reads them; the
// others (external data, zstd, subclusters) do not.
const std::uint64_t QcowKnownIncompatibleFeatures = 0x3;
const unsigned QcowHeaderLengthAt = 100;              // u32, version 3: the header's own length
const std::uint32_t QcowExtensionEnd = 0;
const std::uint32_t QcowExtensionBackingFormat = 0xE2792ACA; // the backing file's format name
const unsigned QcowExtensionHeaderSize = 8;           // u32 type, u32 length, then data padded to 8
const std::uint32_t QcowMaxBackingNameSize = 1023;    // qemu's own limit
