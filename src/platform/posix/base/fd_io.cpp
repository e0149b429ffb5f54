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
        // A write that takes nothing would take nothing again: give up, as
        // on an error, with one a message can name.
        if (put == 0)
            errno = EIO;
        if (put <= 0)
            return false;
        next += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

namespace {

// Reads on with `next(bytes, wanted, done)` until `capacity` bytes, the end or an error.
template <typename Next>
bool ReadOn(char *bytes, std::size_t capacity, std::size_t &size, Next next)
{
    size = 0;
    while (size < capacity) {
        ssize_t got = next(bytes + size, capacity - size, size);
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

} // namespace

bool ReadUpTo(int fd, void *buffer, std::size_t capacity, std::size_t &size)
{
    return ReadOn(static_cast<char *>(buffer), capacity, size,
                  [fd](char *bytes, std::size_t wanted, std::size_t) { return read(fd, bytes, wanted); });
}

bool ReadUpToAt(int fd, void *buffer, std::size_t capacity, std::uint64_t at, std::size_t &size)
{
    return ReadOn(static_cast<char *>(buffer), capacity, size,
                  [fd, at](char *bytes, std::size_t wanted, std::size_t done) {
                      return pread(fd, bytes, wanted, static_cast<off_t>(at + done));
                  });
}

bool ReadExactlyAt(int fd, void *buffer, std::size_t size, std::uint64_t at)
{
    std::size_t got = 0;
    return ReadUpToAt(fd, buffer, size, at, got) && got == size;
}

std::string DescriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}
