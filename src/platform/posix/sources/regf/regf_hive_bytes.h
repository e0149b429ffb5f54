// Where a hive's bytes come from: any positional source. A reader asks only
// for the cells a lookup touches, never for the whole file.
#pragma once

#include <cstddef>
#include <cstdint>

struct HiveReplay;

struct HiveBytes {
    // All `size` bytes at `fileOffset` (base block included), or false.
    virtual bool ReadAt(std::uint64_t fileOffset, void *buffer, std::size_t size) const = 0;

protected:
    ~HiveBytes() = default;
};

// An open file, read with pread; the descriptor stays the caller's.
struct FdHiveBytes final : HiveBytes {
    explicit FdHiveBytes(int descriptor) : fd(descriptor) {}
    bool ReadAt(std::uint64_t fileOffset, void *buffer, std::size_t size) const override;
    int fd;
};

// Bytes already in memory.
struct MemoryHiveBytes final : HiveBytes {
    MemoryHiveBytes(const void *data, std::uint64_t length)
        : bytes(static_cast<const unsigned char *>(data)), size(length) {}
    bool ReadAt(std::uint64_t fileOffset, void *buffer, std::size_t length) const override;
    const unsigned char *bytes;
    std::uint64_t size;
};

// A replayed hive: its overlay pages (a later one winning) and base block
// over the primary, which is `primarySize` long; past it the hive reads as zeros.
struct OverlayHiveBytes final : HiveBytes {
    OverlayHiveBytes(const HiveBytes &primary, std::uint64_t primaryLength, const HiveReplay &overlay)
        : below(primary), primarySize(primaryLength), replay(overlay) {}
    bool ReadAt(std::uint64_t fileOffset, void *buffer, std::size_t size) const override;
    const HiveBytes &below;
    std::uint64_t primarySize;
    const HiveReplay &replay;
};
