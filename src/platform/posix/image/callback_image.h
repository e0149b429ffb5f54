// A container a library reads, handed to libtsk as an image of its own kind:
// libtsk calls `read` for every sector range it wants.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/image/image_libraries.h"

// Reads `size` bytes at `offset` of the disk; the count read, -1 on error.
typedef ssize_t (*DiskRead)(void *disk, std::uint64_t offset, char *buffer, std::size_t size);
// Closes what `disk` holds (its files, the libraries' handles) and frees it.
typedef void (*DiskClose)(void *disk);

// The image takes `disk`: `close` closes it with the image, or at once when
// no image can be made (null where the caller keeps it). False with `fault`
// naming `kind`.
bool OpenCallbackImage(const TskFunctions *tsk, void *disk, DiskRead read, DiskClose close, std::uint64_t size,
                       const char *kind, TSK_IMG_INFO *&image, Fault &fault);

// A volume's bytes within an image (a disk, or a layer over one).
struct VolumeSpan {
    const TskFunctions *tsk;
    TSK_IMG_INFO *image;
    std::uint64_t offset, size;
};

// A DiskRead of a VolumeSpan: the volume's bytes, short at its end.
ssize_t ReadVolumeSpan(void *span, std::uint64_t offset, char *buffer, std::size_t size);

// The disk under `image` when `read` reads it, else null: how a container
// finds its own disk again.
void *CallbackImageDisk(const TSK_IMG_INFO *image, DiskRead read);
