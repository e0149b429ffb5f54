// The volume beneath a layer (BitLocker, shadow copies), as the layer sees
// it: a read callback and a size. A layer reads volumes only through these,
// never a file of its own.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Reads `size` bytes at `offset` of the volume; the count read, -1 on error
// (the shape of a DiskRead, so that a layer reads as an image of its own).
typedef ssize_t (*VolumeRead)(void *volume, std::uint64_t offset, char *buffer, std::size_t size);

struct LowerVolume {
    void *volume = nullptr;
    VolumeRead read = nullptr;
    std::uint64_t size = 0; // bytes
};

// All `size` bytes at `offset`, or false where they lie past the volume's
// end or the read fails or comes short.
bool ReadVolumeBytes(const LowerVolume &volume, std::uint64_t offset, void *buffer, std::size_t size);
