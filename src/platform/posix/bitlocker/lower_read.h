// How the BitLocker reader reads the volume beneath it: a callback of the
// same shape as a disk's, so that any layer can lie under it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Reads `size` bytes at `offset` of the volume; the count read, -1 on error.
typedef ssize_t (*BitLockerLowerRead)(void *lower, std::uint64_t offset, char *buffer, std::size_t size);

struct BitLockerLower {
    BitLockerLowerRead read = nullptr;
    void *volume = nullptr;
    std::uint64_t size = 0; // bytes
};

// All `size` bytes at `offset`, within the volume's size; false where they
// lie past it or the read comes short.
inline bool ReadLowerFully(const BitLockerLower &lower, std::uint64_t offset, void *buffer, std::size_t size)
{
    if (offset > lower.size || lower.size - offset < size)
        return false;
    char *out = static_cast<char *>(buffer);
    for (std::size_t done = 0; done < size;) {
        ssize_t got = lower.read(lower.volume, offset + done, out + done, size - done);
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}
