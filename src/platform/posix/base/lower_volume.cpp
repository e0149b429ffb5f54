#include "platform/posix/base/lower_volume.h"

bool ReadVolumeBytes(const LowerVolume &volume, std::uint64_t offset, void *buffer, std::size_t size)
{
    if (volume.read == nullptr || offset > volume.size || size > volume.size - offset)
        return false;
    char *bytes = static_cast<char *>(buffer);
    std::size_t done = 0;
    // A callback may answer in pieces; nothing at all is a failure.
    while (done < size) {
        ssize_t got = volume.read(volume.volume, offset + done, bytes + done, size - done);
        if (got <= 0 || static_cast<std::size_t>(got) > size - done)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}
