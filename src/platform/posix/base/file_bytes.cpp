#include "platform/posix/base/file_bytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"

FdFileBytes::~FdFileBytes()
{
    if (fd >= 0)
        close(fd);
}

bool FdFileBytes::ReadAt(std::uint64_t at, void *buffer, std::size_t length) const
{
    if (at > size || length > size - at) {
        errno = 0;
        return false;
    }
    std::size_t got = 0;
    if (!ReadUpToAt(fd, buffer, length, at, got))
        return false;
    if (got != length)
        errno = 0; // the file shrank under us
    return got == length;
}

bool MemoryFileBytes::ReadAt(std::uint64_t at, void *buffer, std::size_t length) const
{
    if (at > size || length > size - at)
        return false;
    if (length > 0) // no bytes may come with no buffer
        std::memcpy(buffer, bytes + at, length);
    return true;
}

std::unique_ptr<FileBytes> TakeFileBytes(int fd, Fault &fault)
{
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        fault = {"", std::strerror(errno)};
    } else if (!S_ISREG(info.st_mode)) {
        fault = {"", "not a regular file"};
    } else {
        return std::unique_ptr<FileBytes>(new FdFileBytes(fd, static_cast<std::uint64_t>(info.st_size)));
    }
    if (fd >= 0)
        close(fd);
    return nullptr;
}

std::unique_ptr<FileBytes> OpenHostFileBytes(const std::string &path, Fault &fault)
{
    int fd = OpenEvidenceFile(path);
    if (fd < 0) {
        // A device or a socket: one the broker would not open, or none here.
        fault = {path, errno == ENXIO ? "not a regular file" : std::strerror(errno)};
        return nullptr;
    }
    std::unique_ptr<FileBytes> file = TakeFileBytes(fd, fault);
    if (file == nullptr)
        fault.file = path;
    return file;
}

int DescriptorNaming(const FileBytes &file, std::uint64_t largest, Fault &fault)
{
    // A host file's own name is no use to a child that may open no file; a
    // copy in memory is anyone's to open.
    const FdFileBytes *host = dynamic_cast<const FdFileBytes *>(&file);
    if (host != nullptr && !EvidenceComesThroughBroker())
        return fcntl(host->fd, F_DUPFD_CLOEXEC, 0);
    WholeFile whole;
    if (!ReadWholeFile(file, largest, whole, fault))
        return -1;
    int fd = memfd_create("dorovivi-copy", MFD_CLOEXEC);
    if (fd < 0 || !WriteAll(fd, whole.bytes, whole.size)) {
        fault = {"", std::strerror(errno)};
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

WholeFile::~WholeFile()
{
    if (mapped > 0)
        munmap(bytes, mapped);
}

bool MapWholeFile(WholeFile &whole, std::size_t size)
{
    if (size == 0)
        return true;
    void *memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory == MAP_FAILED)
        return false;
    whole.bytes = static_cast<unsigned char *>(memory);
    whole.mapped = whole.size = size;
    return true;
}

bool ReadWholeFile(const FileBytes &file, std::uint64_t largest, WholeFile &whole, Fault &fault)
{
    std::uint64_t size = file.Size();
    if (size > largest) {
        fault = {"", "larger than " + std::to_string(largest >> 20) + " MiB"};
        return false;
    }
    if (size == 0)
        return true;
    if (!MapWholeFile(whole, static_cast<std::size_t>(size))) {
        fault = {"", std::strerror(errno)};
        return false;
    }
    errno = 0;
    if (!file.ReadAt(0, whole.bytes, whole.size)) {
        fault = {"", errno != 0 ? std::strerror(errno) : "cut short while read"};
        return false;
    }
    return true;
}
