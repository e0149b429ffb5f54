// Every disk a machine has, opened in the order its BIOS numbers them, with
// the partitions of each: an image root is a machine of one disk.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/image/disk_container.h"
#include "platform/posix/image/disk_volumes.h"

// Opens each of `disks` (paths, the boot disk first; the first open already
// as `heldFirst` where that is not -1) into `images` and
// lists its partitions into `volumes`, each marked with its disk. False with
// `fault` where a disk cannot be opened, or where the one disk there is holds
// no partition table and no file system; of several disks, one such is a line
// in `notes`. A fault in a chain's file read past adds a line to `chainNotes`;
// of a `machine`'s disks (named by a configuration), each line and fault
// names its disk first. `chains` gets what each disk was read from, as far
// as it was. BitLocker volumes are read with `keys`, where given.
bool OpenMachineDisks(const TskFunctions *tsk, const std::vector<std::string> &disks, bool machine, int heldFirst,
                      std::vector<TSK_IMG_INFO *> &images, std::vector<DiskVolume> &volumes,
                      std::vector<DiskChain> &chains, std::vector<std::string> &chainNotes,
                      std::vector<std::string> &notes, Fault &fault, VolumeKeys *keys = nullptr);

// Adds the volumes of the dynamic ones of `images` (LDM), each partition
// -1 and named as Windows names it, a FAT or NTFS file system opened on
// it; a dynamic disk's own partitions, which hold no file system of their
// own, are no damage. A volume that is also a partition of the table (the
// boot volume Windows keeps there) counts once, as the partition. False
// when some disk is dynamic and `dynamicReader` is not loaded: the caller
// loads it, in a process of its own.
bool AddDynamicVolumes(const TskFunctions *tsk, const std::vector<TSK_IMG_INFO *> &images, bool dynamicReader,
                       std::vector<DiskVolume> &volumes, std::vector<std::string> &notes);

// "partition(M)" on the first disk, "rdisk(N)partition(M)" on another.
std::string VolumeLabel(const DiskVolume &volume);
