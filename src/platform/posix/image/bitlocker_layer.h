// A BitLocker volume as one more layer of an image: found where a partition
// holds no FAT or NTFS, unlocked with the keys its owner keeps in the file
// DOROVIVI_KEYS names, and read decrypted by libtsk as an image of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/bitlocker/bitlocker_keys.h"
#include "platform/posix/bitlocker/bitlocker_volume.h"
#include "platform/posix/image/image_libraries.h"

// What opening BitLocker volumes takes in the child that reads a disk.
struct VolumeKeys {
    bool cryptoLoaded = false; // libcrypto was loaded before the child gave up opening files
    bool cryptoWanted = false; // a BitLocker volume was met without it: read again with it
    std::string keysFile;      // DOROVIVI_KEYS, "" when unset
    bool keysRead = false;     // read on the first volume met, once
    BitLockerKeys keys;
    std::vector<std::string> lines; // what reading them said, said once
};

void WipeVolumeKeys(VolumeKeys &keys);

// The volume at `offset` of `image` (`size` bytes, its first sector
// `first`), when BitLocker's: true, with its facts in `facts`; and, where
// it opens, the decrypted volume in `layer` (owning what it reads, closed
// with it). `locked` says why it did not open. False: not BitLocker's.
bool OpenBitLockerLayer(const TskFunctions *tsk, TSK_IMG_INFO *image, std::uint64_t offset, std::uint64_t size,
                        const unsigned char *first, VolumeKeys &keys, std::shared_ptr<const BitLockerVolume> &facts,
                        TSK_IMG_INFO *&layer, std::string &locked);
