// A file read by position, wherever its bytes lie: on a drive, in memory, or
// inside a disk image that the image child reads on demand. Readers ask for
// the bytes they need and never for the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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
// a regular file; null with `problem` ("Permission denied", "not a regular
// file") otherwise.
std::unique_ptr<FileBytes> OpenHostFileBytes(const std::string &path, std::string &problem);

// The same for a descriptor already open, taken over (closed on refusal).
std::unique_ptr<FileBytes> TakeFileBytes(int fd, std::string &problem);

// A descriptor of the file's bytes, for a library that opens files by name
// (through DescriptorPath): a host file's own, duplicated; else a memory
// copy of a file at most `largest` long. -1 with `problem` otherwise; the
// caller owns the descriptor.
int DescriptorNaming(const FileBytes &file, std::uint64_t largest, std::string &problem);

// The whole file into `bytes` when it is at most `largest` long; false with
// `problem` otherwise.
bool ReadWholeFile(const FileBytes &file, std::uint64_t largest, std::string &bytes, std::string &problem);
