// A dynamic volume's bytes, from its partitions on the disks: one partition
// (simple), several end to end (spanned), in chunks taken in turn (striped),
// each a whole copy (mirrored), or in chunks with a parity chunk that moves
// one disk back each row (RAID-5, left-symmetric, as libldm maps it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/image/image_libraries.h"

enum DynamicKind { SimpleVolume, SpannedVolume, StripedVolume, MirroredVolume, Raid5Volume };

struct VolumeMember {
    TSK_IMG_INFO *disk;   // null where the disk is missing
    std::string diskName; // as Windows names it ("Disk2")
    std::uint64_t offset; // bytes into the disk
    std::uint64_t size;   // bytes
};

struct VolumeLayout {
    const TskFunctions *tsk;
    DynamicKind kind;
    std::uint64_t size;  // bytes
    std::uint64_t chunk; // bytes, striped and RAID-5
    std::vector<VolumeMember> members; // in the order the volume uses them
};

// False with `why` where the members cannot hold the volume as its kind
// lays it out, or lie outside their disks.
bool CheckVolumeLayout(const VolumeLayout &layout, std::string &why);

// The disks of the volume that are missing, ", "-separated; "" for none.
std::string MissingDisks(const VolumeLayout &layout);

// The missing disks that leave the volume unreadable, ", "-separated; ""
// when it reads (a mirror from one half, RAID-5 through one missing disk).
std::string LackingDisks(const VolumeLayout &layout);

// A DiskRead (callback_image.h) over a VolumeLayout.
ssize_t ReadDynamicVolume(void *layout, std::uint64_t offset, char *buffer, std::size_t size);
