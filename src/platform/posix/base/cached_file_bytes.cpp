#include "platform/posix/base/cached_file_bytes.h"

#include <cstring>

CachedFileBytes::CachedFileBytes(std::shared_ptr<const FileBytes> file) : below(std::move(file))
{
    std::memset(tags, 0, sizeof tags);
}

bool CachedFileBytes::ReadAt(std::uint64_t at, void *buffer, std::size_t size) const
{
    std::uint64_t end = below->Size();
    if (at > end || size > end - at)
        return false;
    if (size > kCachedReadLargest)
        return below->ReadAt(at, buffer, size);
    unsigned char *out = static_cast<unsigned char *>(buffer);
    while (size > 0) {
        std::uint64_t page = at / kCachedPageSize;
        std::size_t slot = static_cast<std::size_t>(page % kCachedPages);
        std::uint64_t start = page * kCachedPageSize;
        if (tags[slot] != page + 1) {
            // The last page of the file is as long as the file goes.
            std::size_t length = end - start < kCachedPageSize ? static_cast<std::size_t>(end - start) : kCachedPageSize;
            tags[slot] = 0;
            if (!below->ReadAt(start, pages[slot], length))
                return false;
            tags[slot] = page + 1;
        }
        std::size_t from = static_cast<std::size_t>(at - start);
        std::size_t part = kCachedPageSize - from < size ? kCachedPageSize - from : size;
        std::memcpy(out, pages[slot] + from, part);
        out += part;
        at += part;
        size -= part;
    }
    return true;
}
