#include "platform/posix/base/fd_io.h"

#include <unistd.h>

#include <cerrno>

bool WriteAll(int fd, const void *bytes, std::size_t size)
{
    const char *next = static_cast<const char *>(bytes);
    while (size > 0) {
        ssize_t put = write(fd, next, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        next += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool ReadUpTo(int fd, void *buffer, std::size_t capacity, std::size_t &size)
{
    char *bytes = static_cast<char *>(buffer);
    size = 0;
    while (size < capacity) {
        ssize_t got = read(fd, bytes + size, capacity - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    return true;
}

bool ReadUpToAt(int fd, void *buffer, std::size_t capacity, std::uint64_t at, std::size_t &size)
{
    char *bytes = static_cast<char *>(buffer);
    size = 0;
    while (size < capacity) {
        ssize_t got = pread(fd, bytes + size, capacity - size, static_cast<off_t>(at + size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    return true;
}

std::string DescriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}
