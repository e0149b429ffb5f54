// The replayed hive as a memory file: the primary copied in by the kernel
// where it can, the overlay written over it. Nothing reaches a disk.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/sources/regf/hive_replay.h"

namespace {

// Copies `size` bytes from the start of `from`; false on a read or write error.
bool CopyPrimary(int from, int to, std::uint64_t size)
{
    loff_t in = 0, out = 0;
    while (static_cast<std::uint64_t>(in) < size) {
        ssize_t n = copy_file_range(from, &in, to, &out, size - in, 0);
        if (n > 0)
            continue;
        if (n == 0)
            return true; // the file ended early: the rest reads as zeros
        if (errno == EINTR)
            continue;
        break; // across file systems on older kernels, or not supported
    }
    while (static_cast<std::uint64_t>(in) < size) {
        if (lseek(to, in, SEEK_SET) < 0)
            return false;
        off_t at = in;
        ssize_t n = sendfile(to, from, &at, size - in);
        if (n > 0) {
            in = at;
            continue;
        }
        if (n == 0)
            return true;
        if (errno == EINTR)
            continue;
        break;
    }
    char buffer[65536];
    while (static_cast<std::uint64_t>(in) < size) {
        ssize_t n = pread(from, buffer, std::min<std::uint64_t>(sizeof buffer, size - in), in);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = pwrite(to, buffer + done, n - done, in + done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
        in += n;
    }
    return true;
}

bool WriteAll(int fd, const void *bytes, std::size_t size, std::uint64_t at)
{
    const char *p = static_cast<const char *>(bytes);
    while (size > 0) {
        ssize_t n = pwrite(fd, p, size, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= n;
        at += n;
    }
    return true;
}

} // namespace

int MaterialiseHiveReplay(int primaryFd, const HiveReplay &replay, std::string &problem)
{
    struct stat st;
    if (fstat(primaryFd, &st) != 0) {
        problem = std::string("cannot read the primary (") + std::strerror(errno) + ")";
        return -1;
    }
    int fd = memfd_create("replayed-hive", MFD_CLOEXEC);
    if (fd < 0) {
        problem = std::string("no memory file for the replayed hive (") + std::strerror(errno) + ")";
        return -1;
    }
    std::uint64_t keep = std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), replay.hiveSize);
    bool ok = ftruncate(fd, static_cast<off_t>(replay.hiveSize)) == 0;
    // The pages taken in one call cost less than one at a time as the copy
    // writes them (a sixth of a replayed run); where it fails, the copy takes them.
    if (ok && fallocate(fd, 0, 0, static_cast<off_t>(replay.hiveSize)) != 0)
        errno = 0;
    ok = ok && CopyPrimary(primaryFd, fd, keep);
    for (std::size_t i = 0; ok && i < replay.pages.size(); ++i) {
        const HiveOverlayPage &page = replay.pages[i];
        if (page.offset >= replay.hiveSize)
            continue;
        std::size_t size = std::min<std::uint64_t>(page.bytes.size(), replay.hiveSize - page.offset);
        ok = WriteAll(fd, page.bytes.data(), size, page.offset);
    }
    ok = ok && WriteAll(fd, replay.baseBlock, sizeof replay.baseBlock, 0);
    if (!ok) {
        problem = std::string("cannot fill the replayed hive in memory (") + std::strerror(errno) + ")";
        close(fd);
        return -1;
    }
    return fd;
}
