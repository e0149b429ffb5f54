// What reading an opened BitLocker volume needs, kept behind
// BitLockerVolume::reader.
#pragma once

#include <vector>

#include "platform/posix/bitlocker/fve_eow_read.h"
#include "platform/posix/bitlocker/fve_metadata_read.h"
#include "platform/posix/bitlocker/locked_secret.h"
#include "platform/posix/bitlocker/sector_cipher.h"

const std::size_t BitLockerChunk = 1 << 16; // bytes read from below at once

struct BitLockerReader {
    LowerVolume lower;
    FveMetadata metadata;
    FveEow eow;             // encrypt-on-write volumes: which chunks are encrypted yet
    bool encrypted = false; // false: every sector is read as it lies
    bool plainBoot = false; // the relocated boot sectors are read as they lie (no bitmap says)
    LockedSecret fullKey;
    SectorCipher cipher;
    std::vector<unsigned char> chunk;
};

// Whether an encrypt-on-write volume's relocated boot sectors still lie
// unencrypted, where no bitmap says.
bool BootSectorsLieInPlain(const BitLockerReader &reader);
