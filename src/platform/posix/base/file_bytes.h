// A file read by position, wherever its bytes lie: on a drive, in memory, or
// inside a disk image that the image child reads on demand. Readers ask for
// the bytes they need and never for the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/base/fault.h"

struct FileBytes {
    virtual ~FileBytes() = default;
    // All `size` bytes at `at`, or false: past the end, or a read error
    // (errno then says which where the host gave one).
    virtual bool ReadAt(std::uint64_t at, void *buffer, std::size_t size) const = 0;
    // The file's length as stored.
    virtual std::uint64_t Size() const = 0;
};

// A regular file on the host, its descriptor owned and closed with it.
struct FdFileBytes final : FileBytes {
    explicit FdFileBytes(int descriptor, std::uint64_t length) : fd(descriptor), size(length) {}
    ~FdFileBytes() override;
    FdFileBytes(const FdFileBytes &) = delete;
    FdFileBytes &operator=(const FdFileBytes &) = delete;
    bool ReadAt(std::uint64_t at, void *buffer, std::size_t length) const override;
    std::uint64_t Size() const override { return size; }
    int fd;
    std::uint64_t size;
};

// Bytes already in memory, not owned.
struct MemoryFileBytes final : FileBytes {
    MemoryFileBytes(const void *data, std::uint64_t length)
        : bytes(static_cast<const unsigned char *>(data)), size(length) {}
    bool ReadAt(std::uint64_t at, void *buffer, std::size_t length) const override;
    std::uint64_t Size() const override { return size; }
    const unsigned char *bytes;
    std::uint64_t size;
};

// Opens `path` read-only without blocking on a FIFO and refuses what is not
// a regular file; null with `fault` (`path`: "Permission denied", "not a
// regular file") otherwise.
std::unique_ptr<FileBytes> OpenHostFileBytes(const std::string &path, Fault &fault);

// The same for a descriptor already open, taken over (closed on refusal).
std::unique_ptr<FileBytes> TakeFileBytes(int fd, Fault &fault);

// A descriptor of the file's bytes, for a library that opens files by name
// (through DescriptorPath): a host file's own, duplicated; else a memory
// copy of a file at most `largest` long. -1 with `fault` otherwise; the
// caller owns the descriptor.
int DescriptorNaming(const FileBytes &file, std::uint64_t largest, Fault &fault);

// Memory for a file read whole, mapped and populated in one call: fresh
// memory would otherwise take a page fault every 4 KiB as the read fills it.
struct WholeFile {
    WholeFile() = default;
    WholeFile(const WholeFile &) = delete;
    WholeFile &operator=(const WholeFile &) = delete;
    ~WholeFile();
    unsigned char *bytes = nullptr;
    std::size_t size = 0;
    std::size_t mapped = 0;
};

// `size` bytes of it, zeros, mapped and populated; false (errno) when the
// memory cannot be had.
bool MapWholeFile(WholeFile &whole, std::size_t size);

// The whole file into `whole` when it is at most `largest` long; false with
// `fault` otherwise.
bool ReadWholeFile(const FileBytes &file, std::uint64_t largest, WholeFile &whole, Fault &fault);
