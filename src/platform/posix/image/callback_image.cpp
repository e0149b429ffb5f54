#include "platform/posix/image/callback_image.h"

#include <cstdlib>

namespace {

const unsigned SectorSize = 512;

struct CallbackImage {
    TSK_IMG_INFO info; // first, as libtsk hands it back to the callbacks
    void *disk;
    DiskRead read;
};

ssize_t CallbackRead(TSK_IMG_INFO *image, TSK_OFF_T offset, char *buffer, std::size_t size)
{
    CallbackImage *self = reinterpret_cast<CallbackImage *>(image);
    if (offset < 0)
        return -1;
    return self->read(self->disk, static_cast<std::uint64_t>(offset), buffer, size);
}

// The program's image lives as long as the process that reads it; a
// harness that reads many closes each, and the disk under it stays.
void CallbackClose(TSK_IMG_INFO *image)
{
    std::free(image);
}

void CallbackStat(TSK_IMG_INFO *, FILE *)
{
}

} // namespace

bool OpenCallbackImage(const TskFunctions *tsk, void *disk, DiskRead read, std::uint64_t size, const char *kind,
                       TSK_IMG_INFO *&image, Fault &fault)
{
    CallbackImage *opened = static_cast<CallbackImage *>(std::calloc(1, sizeof(CallbackImage)));
    if (opened == nullptr) {
        fault = {"", std::string(kind) + " image not readable (out of memory)"};
        return false;
    }
    opened->disk = disk;
    opened->read = read;
    image = tsk->img_open_external(opened, static_cast<TSK_OFF_T>(size), SectorSize, CallbackRead, CallbackClose,
                                   CallbackStat);
    if (image == nullptr) {
        fault = {"", std::string(kind) + " image not readable (" + TakeTskError(tsk) + ")"};
        return false;
    }
    return true;
}

void *CallbackImageDisk(const TSK_IMG_INFO *image, DiskRead read)
{
    if (image == nullptr || image->itype != TSK_IMG_TYPE_EXTERNAL)
        return nullptr;
    const CallbackImage *self = reinterpret_cast<const CallbackImage *>(image);
    return self->read == read ? self->disk : nullptr;
}
