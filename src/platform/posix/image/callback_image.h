// A container a library reads, handed to libtsk as an image of its own kind:
// libtsk calls `read` for every sector range it wants.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/image/image_libraries.h"

// Reads `size` bytes at `offset` of the disk; the count read, -1 on error.
typedef ssize_t (*DiskRead)(void *disk, std::uint64_t offset, char *buffer, std::size_t size);

// `disk` lives as long as the process. False with `fault` naming `kind`.
bool OpenCallbackImage(const TskFunctions *tsk, void *disk, DiskRead read, std::uint64_t size, const char *kind,
                       TSK_IMG_INFO *&image, Fault &fault);

// The disk under `image` when `read` reads it, else null: how a container
// finds its own disk again.
void *CallbackImageDisk(const TSK_IMG_INFO *image, DiskRead read);
