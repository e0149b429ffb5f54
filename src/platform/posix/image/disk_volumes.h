// The file systems of a disk image, numbered as NT's ARC paths number them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/image/bitlocker_layer.h"
#include "platform/posix/image/image_libraries.h"

struct DiskVolume {
    int partition;           // from 1: primaries in table order, then logicals in chain order; -1: dynamic
    std::string description; // the partition type as the table names it; "" for a bare file system
    TSK_FS_INFO *fs;         // null where no FAT or NTFS file system could be opened
    bool active;             // its boot files decide
    std::uint64_t offset;    // bytes into the disk
    const char *windowsOwn;  // on GPT, a partition Windows makes for itself ("EFI system partition"); else null
    int disk = 0;            // the machine's disk it lies on, as its BIOS numbers them (rdisk)
    std::string dynamic = ""; // a dynamic disk's volume, as Windows names it ("Volume1"); "" for a partition
    // A BitLocker volume: what its metadata says, the decrypted volume `fs`
    // is read from (closed after `fs`), or why it stays locked.
    std::shared_ptr<const BitLockerVolume> bitlocker = nullptr;
    TSK_IMG_INFO *layer = nullptr;
    std::string locked = "";
    std::uint64_t size = 0; // bytes; 0 where the file system's image ends it (a layer's, a dynamic volume's)
};

// The FAT or NTFS file system at `offset` of `image`, or null. Only the kinds
// Windows is installed on are tried: libtsk then spends nothing on the
// others, nor on its look for encryption after no kind was found.
TSK_FS_INFO *OpenWindowsFileSystem(const TskFunctions *tsk, TSK_IMG_INFO *image, TSK_OFF_T offset);

// The partitions of an MBR or GPT disk, or the image as one bare file system.
// False with `fault` when there is neither. Damage that leaves the rest
// readable adds a line to `notes`. A BitLocker volume is read through its
// layer with `keys`, where given.
bool ListDiskVolumes(const TskFunctions *tsk, TSK_IMG_INFO *image, std::vector<DiskVolume> &volumes,
                     std::vector<std::string> &notes, Fault &fault, VolumeKeys *keys = nullptr);
