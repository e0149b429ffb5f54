// A registry file inside a disk image, read on demand from the image child,
// which keeps the image open and serves reads by position. The child is
// shared by every file it serves and goes with the last of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/base/file_bytes.h"
#include "platform/posix/sandbox/sandboxed_server.h"

// The hive reader reads the same bins again and again, a few bytes at a
// time: each page costs one round trip, not each read.
constexpr std::size_t kImagePageSize = 4096;
constexpr std::size_t kImagePages = 16;

struct ImagePage {
    bool filled = false;
    std::uint32_t file = 0;
    std::uint64_t index = 0;  // page number within the file
    std::uint64_t used = 0;   // when last read, to find the least recently used
    std::size_t length = 0;   // short only at the end of the file
    unsigned char bytes[kImagePageSize];
};

struct ImageServer {
    ImageServer() = default;
    ImageServer(const ImageServer &) = delete;
    ImageServer &operator=(const ImageServer &) = delete;
    ~ImageServer() { StopSandboxedServer(sandboxed); }

    SandboxedServer sandboxed;
    // Where the child's reading runs in this process instead (a fuzzer's),
    // the call that serves it; null: ask `sandboxed`.
    ServeCall serveHere = nullptr;
    void *serveContext = nullptr;
    std::string root; // the image, for the one line said when the child fails
    std::uint64_t clock = 0;
    ImagePage pages[kImagePages];
};

struct ImageFileBytes final : FileBytes {
    ImageFileBytes(std::shared_ptr<ImageServer> shared, std::uint32_t number, std::uint64_t length)
        : server(std::move(shared)), file(number), size(length)
    {
    }
    // All or false; errno EIO once the child has gone.
    bool ReadAt(std::uint64_t at, void *buffer, std::size_t length) const override;
    std::uint64_t Size() const override { return size; }

    std::shared_ptr<ImageServer> server;
    std::uint32_t file;
    std::uint64_t size;
};
