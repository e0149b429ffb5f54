// Recently read pages of a file kept in memory: a hive reader goes back and
// forth between a list and the keys it names, often within a few pages, and
// each page then costs one read of what lies below (a pread, a replay's
// overlay, or a round trip to the image child) instead of one a cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/posix/base/file_bytes.h"

constexpr std::size_t kCachedPageSize = 4096;
constexpr std::size_t kCachedPages = 64;
constexpr std::size_t kCachedReadLargest = 4 * kCachedPageSize; // larger reads go straight below

struct CachedFileBytes final : FileBytes {
    explicit CachedFileBytes(std::shared_ptr<const FileBytes> file);
    bool ReadAt(std::uint64_t at, void *buffer, std::size_t size) const override;
    std::uint64_t Size() const override { return below->Size(); }

    std::shared_ptr<const FileBytes> below;
    mutable std::uint64_t tags[kCachedPages]; // page number + 1 held in each slot; 0: none
    mutable unsigned char pages[kCachedPages][kCachedPageSize];
};
