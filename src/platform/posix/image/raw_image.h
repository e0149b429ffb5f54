// A raw disk: one file, or segments named as libtsk names them (disk.001,
// disk.002...; diskaa, diskab...), each read from a descriptor opened once.
#pragma once

#include <string>

#include "platform/posix/image/image_libraries.h"

// The disk whose first file is `path`, open as `fd` (kept as a duplicate).
// False with `fault` naming a segment that cannot be opened.
bool OpenRawImage(const TskFunctions *tsk, int fd, const std::string &path, TSK_IMG_INFO *&image, Fault &fault);

// Whether `image` is a plain file (or its segments) read as a disk.
bool IsRawImage(const TSK_IMG_INFO *image);

// For a raw image split into segments, the name the segment after its last
// would have ("disk.004" after "disk.003"), which a read past its end is
// missing; "" for any other image.
std::string SegmentAfterSplitImage(const TSK_IMG_INFO *image);
