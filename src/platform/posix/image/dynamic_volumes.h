// The volumes of a machine's dynamic disks (LDM): simple, spanned, striped,
// mirrored and RAID-5 volumes, whose partitions may lie on several disks.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/image/ldm_metadata_copy.h"

struct DynamicVolume {
    std::string name;    // as Windows names it ("Volume1")
    TSK_IMG_INFO *image; // the assembled volume, read through a callback; null where it lacks disks
    std::string lacking; // "" or the disks it lacks, as Windows names them ("Disk2, Disk3")
};

// The volumes on the dynamic ones of `disks` (in the machine's order), each
// readable as an image of its own. A disk or volume that cannot be read adds
// a line to `notes`, and the rest still count; false with `fault` only where
// libldm cannot be loaded.
bool ListDynamicVolumes(const TskFunctions *tsk, const std::vector<TSK_IMG_INFO *> &disks,
                        std::vector<DynamicVolume> &volumes, std::vector<std::string> &notes, Fault &fault);
