// The volume's metadata, from whichever of its three copies passes its
// CRC-32 first: what the volume is, how it is encrypted and its protectors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/bitlocker/fve_key_protector.h"
#include "platform/posix/bitlocker/fve_volume_header.h"
#include "platform/posix/base/lower_volume.h"

const std::size_t FveProtectorsMost = 64;

struct FveMetadata {
    FveVolumeHeader header;
    std::uint16_t version = 0;
    int copy = -1; // the copy read, 0 to 2
    std::uint64_t copyAt[FveCopies] = {0, 0, 0};
    std::uint32_t copyArea = 0;       // bytes each copy keeps from the file system
    std::uint16_t state = 0;
    std::uint64_t encryptedSize = 0;  // bytes from the start
    std::uint64_t bootAt = 0, bootSize = 0; // the relocated boot sectors (version 2)
    std::uint64_t mftMirrorCluster = 0;     // Vista's, for its boot sector
    unsigned char guid[16] = {};
    std::uint16_t method = 0;
    std::string description;
    std::vector<FveProtector> protectors; // their offsets are into `block`
    std::size_t fullKeyAt = 0, fullKeySize = 0; // the sealed full volume key (FVEK)
    std::vector<unsigned char> block;       // the copy read, from its block header
};

// The metadata of the BitLocker volume under `lower`, whose first sector is
// `sector`; false with `fault` where it is not BitLocker's or no copy passes.
bool ReadFveMetadata(const LowerVolume &lower, const unsigned char *sector, FveMetadata &metadata, Fault &fault);
