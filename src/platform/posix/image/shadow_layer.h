// A volume's shadow copies as images of their own, each read by libtsk as
// the volume itself is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/image/callback_image.h"

struct ShadowImage {
    TSK_IMG_INFO *image;   // owns its store; closed after `fs`
    TSK_FS_INFO *fs;       // the FAT or NTFS the copy holds; null where none opens
    std::uint64_t created; // FILETIME, UTC
    std::string guid;      // the shadow copy's, between braces
};

// The shadow copies of `volume`, oldest first (none where it has none);
// `others` are the machine's other volumes, where a copy's difference area
// may lie. The spans must outlive the images. False with `fault` where the
// copies cannot be read.
bool OpenShadowImages(const VolumeSpan &volume, const std::vector<const VolumeSpan *> &others,
                      std::vector<ShadowImage> &images, Fault &fault);
