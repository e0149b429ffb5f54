#include "platform/posix/image/ewf_image.h"

#include <vector>

#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/ewf_segments.h"

namespace {

const EwfFunctions *Ewf = nullptr;

ssize_t ReadEwf(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    return Ewf->handle_read_random(static_cast<libewf_handle_t *>(disk), buffer, size, static_cast<off64_t>(offset),
                                   nullptr);
}

} // namespace

bool OpenEwfImage(const TskFunctions *tsk, int fd, const std::string &path, TSK_IMG_INFO *&image, Fault &fault)
{
    if ((Ewf = EwfLibrary(fault)) == nullptr)
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
    libbfio_pool_t *pool = DescriptorPool(BfioOf(tsk), fds.data(), static_cast<int>(fds.size()));
    libewf_handle_t *handle = nullptr;
    size64_t size = 0;
    if (pool == nullptr || Ewf->handle_initialize(&handle, nullptr) != 1 ||
        Ewf->handle_open_file_io_pool(handle, pool, LIBEWF_OPEN_READ, nullptr) != 1 ||
        Ewf->handle_get_media_size(handle, &size, nullptr) != 1) {
        fault = {"", "damaged E01 image (libewf does not open it)"};
        return false;
    }
    return OpenCallbackImage(tsk, handle, ReadEwf, size, "E01", image, fault);
}
