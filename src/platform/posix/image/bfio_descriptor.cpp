#include "platform/posix/image/bfio_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

struct Descriptor {
    int fd;
    off64_t at;
    bool open;
};

Descriptor *Of(intptr_t *io)
{
    return reinterpret_cast<Descriptor *>(io);
}

Descriptor *Made(int fd)
{
    int own = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    Descriptor *made = own >= 0 ? static_cast<Descriptor *>(std::calloc(1, sizeof(Descriptor))) : nullptr;
    if (made == nullptr) {
        if (own >= 0)
            close(own);
        return nullptr;
    }
    made->fd = own;
    return made;
}

int Free(intptr_t **io, libbfio_error_t **)
{
    if (io == nullptr || *io == nullptr)
        return 1;
    close(Of(*io)->fd);
    std::free(*io);
    *io = nullptr;
    return 1;
}

int Clone(intptr_t **target, intptr_t *source, libbfio_error_t **)
{
    if (target == nullptr || source == nullptr)
        return -1;
    Descriptor *made = Made(Of(source)->fd);
    *target = reinterpret_cast<intptr_t *>(made);
    return made != nullptr ? 1 : -1;
}

int Open(intptr_t *io, int flags, libbfio_error_t **)
{
    if (io == nullptr || (flags & ~LIBBFIO_ACCESS_FLAG_READ) != 0)
        return -1;
    Of(io)->open = true;
    Of(io)->at = 0;
    return 1;
}

int Close(intptr_t *io, libbfio_error_t **)
{
    if (io == nullptr)
        return -1;
    Of(io)->open = false;
    return 0;
}

ssize_t Read(intptr_t *io, uint8_t *buffer, size_t size, libbfio_error_t **)
{
    if (io == nullptr || !Of(io)->open)
        return -1;
    ssize_t got;
    while ((got = pread64(Of(io)->fd, buffer, size, Of(io)->at)) < 0 && errno == EINTR) {
    }
    if (got > 0)
        Of(io)->at += got;
    return got;
}

ssize_t Write(intptr_t *, const uint8_t *, size_t, libbfio_error_t **)
{
    return -1;
}

int Size(intptr_t *io, size64_t *size, libbfio_error_t **)
{
    struct stat info;
    if (io == nullptr || size == nullptr || fstat(Of(io)->fd, &info) != 0)
        return -1;
    *size = static_cast<size64_t>(info.st_size);
    return 1;
}

off64_t Seek(intptr_t *io, off64_t offset, int whence, libbfio_error_t **)
{
    size64_t size = 0;
    if (io == nullptr || (whence == SEEK_END && Size(io, &size, nullptr) != 1))
        return -1;
    off64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? Of(io)->at : static_cast<off64_t>(size);
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || offset < -from)
        return -1;
    Of(io)->at = from + offset;
    return Of(io)->at;
}

int Exists(intptr_t *io, libbfio_error_t **)
{
    return io != nullptr ? 1 : -1;
}

int IsOpen(intptr_t *io, libbfio_error_t **)
{
    return io == nullptr ? -1 : Of(io)->open ? 1 : 0;
}

} // namespace

libbfio_handle_t *DescriptorHandle(const BfioFunctions &bfio, int fd)
{
    Descriptor *made = Made(fd);
    libbfio_handle_t *handle = nullptr;
    if (made == nullptr)
        return nullptr;
    intptr_t *io = reinterpret_cast<intptr_t *>(made);
    if (bfio.handle_initialize(&handle, io, Free, Clone, Open, Close, Read, Write, Seek, Exists, IsOpen, Size,
                               LIBBFIO_FLAG_IO_HANDLE_MANAGED | LIBBFIO_FLAG_IO_HANDLE_CLONE_BY_FUNCTION,
                               nullptr) != 1) {
        Free(&io, nullptr);
        return nullptr;
    }
    return handle;
}

libbfio_pool_t *DescriptorPool(const BfioFunctions &bfio, const int *fds, int count)
{
    libbfio_pool_t *pool = nullptr;
    if (bfio.pool_initialize(&pool, 0, 0, nullptr) != 1)
        return nullptr;
    for (int index = 0; index < count; ++index) {
        libbfio_handle_t *handle = DescriptorHandle(bfio, fds[index]);
        int entry = 0;
        // The pool owns each handle it takes; one it refuses is freed here.
        if (handle == nullptr || bfio.pool_append_handle(pool, &entry, handle, LIBBFIO_OPEN_READ, nullptr) != 1) {
            if (handle != nullptr)
                bfio.handle_free(&handle, nullptr);
            bfio.pool_free(&pool, nullptr);
            return nullptr;
        }
    }
    return pool;
}
