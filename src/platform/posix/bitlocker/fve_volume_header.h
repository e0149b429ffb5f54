// The first sector of a BitLocker volume: the boot sector Windows writes in
// place of the file system's, which says where the metadata copies lie.
// Three kinds: Vista's (NTFS-like, the first copy as a cluster number),
// Windows 7 and later (FAT32-like, the copies as byte offsets), and To Go's
// FAT32 wrapper, which a FAT-only reader can still open.
#pragma once

#include <cstddef>
#include <cstdint>

const std::size_t FveSectorSize = 512;          // what is read of it
const std::size_t FveSignatureAt = 3;           // 8 bytes
const char FveSignature[] = "-FVE-FS-";
const char FveToGoSignature[] = "MSWIN4.1";
const std::size_t FveSignatureSize = 8;
const std::size_t FveBytesPerSectorAt = 11;     // u16
const std::size_t FveSectorsPerClusterAt = 13;  // u8
const std::size_t FveVistaMetadataClusterAt = 56; // u64: the first copy's cluster (Vista)
const std::size_t FveGuidAt = 160;              // 16 bytes, then three u64 copy offsets
const std::size_t FveToGoGuidAt = 424;          // likewise, in To Go's wrapper
const std::size_t FveCopyOffsetsAfterGuid = 16;
const std::size_t FveEowOffsetsAfterGuid = 40;  // two u64: the encrypt-on-write information's copies
const int FveCopies = 3;
const int FveEowCopies = 2;

// The identifiers in the header: an ordinary volume, or one made with
// "encrypt used space only" (encrypt-on-write), also left on a volume
// decrypted since.
const unsigned char FveVolumeGuid[16] = {0x3b, 0xd6, 0x67, 0x49, 0x29, 0x2e, 0xd8, 0x4a,
                                         0x83, 0x99, 0xf6, 0xa3, 0x39, 0xe3, 0xd0, 0x01};
const unsigned char FveEowGuid[16] = {0x3b, 0x4d, 0xa8, 0x92, 0x80, 0xdd, 0x0e, 0x4d,
                                      0x9e, 0x4e, 0xb1, 0xe3, 0x28, 0x4e, 0xae, 0xd8};

enum class FveHeaderKind { None, Vista, Seven, ToGo };

struct FveVolumeHeader {
    FveHeaderKind kind = FveHeaderKind::None;
    bool encryptOnWrite = false;
    std::uint32_t sectorSize = 0;
    std::uint32_t clusterSize = 0;
    std::uint64_t copyAt[FveCopies] = {0, 0, 0}; // Vista: only the first is known here
    std::uint64_t eowAt[FveEowCopies] = {0, 0};  // encrypt-on-write volumes only
};

// The header in `sector` (FveSectorSize bytes); kind None where it is not
// BitLocker's, or its sector size is not one Windows writes.
FveVolumeHeader ReadFveVolumeHeader(const unsigned char *sector);
