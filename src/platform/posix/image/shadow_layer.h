// A volume's shadow copies as images of their own, each read by libtsk as
// the volume itself is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/image/image_libraries.h"

// Where a volume lies: the image its file system is read from (a disk, or a
// layer over one), and its bytes there.
struct VolumeSpan {
    const TskFunctions *tsk;
    TSK_IMG_INFO *image;
    std::uint64_t offset, size;
};

struct ShadowImage {
    TSK_IMG_INFO *image;   // owns its store; closed after `fs`
    TSK_FS_INFO *fs;       // the FAT or NTFS the copy holds; null where none opens
    std::uint64_t created; // FILETIME, UTC
    std::string guid;      // the shadow copy's
};

// The shadow copies of `volume`, oldest first (none where it has none);
// `others` are the machine's other volumes, where a copy's difference area
// may lie. The spans must outlive the images. False with `fault` where the
// copies cannot be read.
bool OpenShadowImages(const VolumeSpan &volume, const std::vector<const VolumeSpan *> &others,
                      std::vector<ShadowImage> &images, Fault &fault);
