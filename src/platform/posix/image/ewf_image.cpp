#include "platform/posix/image/ewf_image.h"

#include <vector>

#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/ewf_segments.h"

namespace {

struct EwfDisk {
    const EwfFunctions *ewf;
    BfioFunctions bfio;
    libbfio_pool_t *pool;
    libewf_handle_t *handle;
};

ssize_t ReadEwf(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    const EwfDisk *self = static_cast<const EwfDisk *>(disk);
    return self->ewf->handle_read_random(self->handle, buffer, size, static_cast<off64_t>(offset), nullptr);
}

// libewf leaves the pool it was handed with its caller; the pool frees its handles.
void CloseEwf(void *disk)
{
    EwfDisk *self = static_cast<EwfDisk *>(disk);
    if (self->handle != nullptr) {
        self->ewf->handle_close(self->handle, nullptr);
        self->ewf->handle_free(&self->handle, nullptr);
    }
    if (self->pool != nullptr)
        self->bfio.pool_free(&self->pool, nullptr);
    delete self;
}

} // namespace

bool OpenEwfImage(const TskFunctions *tsk, int fd, const std::string &path, TSK_IMG_INFO *&image, Fault &fault)
{
    const EwfFunctions *ewf = EwfLibrary(fault);
    if (ewf == nullptr)
        return false;
    std::vector<OwnedFd> segments;
    std::string missing = OpenEwfSegments(fd, path, segments);
    if (!missing.empty()) {
        fault = {"", "E01 image whose segment " + missing + " is missing (the ones before it end with a link to it)"};
        return false;
    }
    std::vector<int> fds;
    for (const OwnedFd &segment : segments)
        fds.push_back(segment.fd);
    // The pool holds duplicates; these close as the function ends.
    EwfDisk *disk = new EwfDisk{ewf, BfioOf(tsk), nullptr, nullptr};
    disk->pool = DescriptorPool(disk->bfio, fds.data(), static_cast<int>(fds.size()));
    size64_t size = 0;
    if (disk->pool == nullptr || ewf->handle_initialize(&disk->handle, nullptr) != 1 ||
        ewf->handle_open_file_io_pool(disk->handle, disk->pool, LIBEWF_OPEN_READ, nullptr) != 1 ||
        ewf->handle_get_media_size(disk->handle, &size, nullptr) != 1) {
        fault = {"", "damaged E01 image (libewf does not open it)"};
        CloseEwf(disk);
        return false;
    }
    return OpenCallbackImage(tsk, disk, ReadEwf, CloseEwf, size, "E01", image, fault);
}
