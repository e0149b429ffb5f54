#include "platform/posix/image/callback_image.h"

#include <cstdlib>

namespace {

const unsigned SectorSize = 512;

struct CallbackImage {
    TSK_IMG_INFO info; // first, as libtsk hands it back to the callbacks
    void *disk;
    DiskRead read;
    DiskClose close;
};

ssize_t CallbackRead(TSK_IMG_INFO *image, TSK_OFF_T offset, char *buffer, std::size_t size)
{
    CallbackImage *self = reinterpret_cast<CallbackImage *>(image);
    if (offset < 0)
        return -1;
    return self->read(self->disk, static_cast<std::uint64_t>(offset), buffer, size);
}

// Each layer closes the one it stands on.
void CallbackClose(TSK_IMG_INFO *image)
{
    CallbackImage *self = reinterpret_cast<CallbackImage *>(image);
    if (self->close != nullptr)
        self->close(self->disk);
    std::free(image);
}

void CallbackStat(TSK_IMG_INFO *, FILE *)
{
}

} // namespace

bool OpenCallbackImage(const TskFunctions *tsk, void *disk, DiskRead read, DiskClose close, std::uint64_t size,
                       const char *kind, TSK_IMG_INFO *&image, Fault &fault)
{
    CallbackImage *opened = static_cast<CallbackImage *>(std::calloc(1, sizeof(CallbackImage)));
    if (opened == nullptr) {
        fault = {"", std::string(kind) + " image not readable (out of memory)"};
        if (close != nullptr)
            close(disk);
        return false;
    }
    opened->disk = disk;
    opened->read = read;
    opened->close = close;
    image = tsk->img_open_external(opened, static_cast<TSK_OFF_T>(size), SectorSize, CallbackRead, CallbackClose,
                                   CallbackStat);
    if (image == nullptr) {
        fault = {"", std::string(kind) + " image not readable (" + TakeTskError(tsk) + ")"};
        CallbackClose(&opened->info); // libtsk leaves what it refused with the caller
        return false;
    }
    return true;
}

ssize_t ReadVolumeSpan(void *volume, std::uint64_t offset, char *buffer, std::size_t size)
{
    const VolumeSpan *span = static_cast<const VolumeSpan *>(volume);
    if (offset >= span->size)
        return 0;
    if (size > span->size - offset)
        size = static_cast<std::size_t>(span->size - offset);
    return span->tsk->img_read(span->image, static_cast<TSK_OFF_T>(span->offset + offset), buffer, size);
}

void *CallbackImageDisk(const TSK_IMG_INFO *image, DiskRead read)
{
    if (image == nullptr || image->itype != TSK_IMG_TYPE_EXTERNAL)
        return nullptr;
    const CallbackImage *self = reinterpret_cast<const CallbackImage *>(image);
    return self->read == read ? self->disk : nullptr;
}
