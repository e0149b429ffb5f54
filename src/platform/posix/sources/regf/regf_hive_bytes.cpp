#include "platform/posix/sources/regf/regf_hive_bytes.h"

#include <cstring>

#include "platform/posix/sources/regf/hive_replay.h"

namespace {

// Lays `from` (at file offset `at`, `length` long) over the part of `out` it shares.
void Lay(std::uint64_t at, const void *from, std::uint64_t length, std::uint64_t fileOffset, unsigned char *out,
         std::size_t size)
{
    std::uint64_t end = fileOffset + size, to = at + length;
    if (to <= fileOffset || at >= end)
        return;
    std::uint64_t start = at > fileOffset ? at : fileOffset, stop = to < end ? to : end;
    std::memcpy(out + (start - fileOffset), static_cast<const unsigned char *>(from) + (start - at), stop - start);
}

} // namespace

bool OverlayHiveBytes::ReadAt(std::uint64_t fileOffset, void *buffer, std::size_t size) const
{
    if (fileOffset > replay.hiveSize || size > replay.hiveSize - fileOffset)
        return false;
    unsigned char *out = static_cast<unsigned char *>(buffer);
    std::size_t fromPrimary = 0;
    if (fileOffset < primarySize)
        fromPrimary = primarySize - fileOffset < size ? static_cast<std::size_t>(primarySize - fileOffset) : size;
    if (fromPrimary > 0 && !below.ReadAt(fileOffset, out, fromPrimary))
        return false;
    std::memset(out + fromPrimary, 0, size - fromPrimary);
    for (const HiveOverlayPage &page : replay.pages)
        Lay(page.offset, page.bytes, page.size, fileOffset, out, size);
    Lay(0, replay.baseBlock, sizeof replay.baseBlock, fileOffset, out, size);
    return true;
}

std::uint64_t OverlayHiveBytes::Size() const
{
    return replay.hiveSize;
}
