#include "platform/posix/image/shadow_layer.h"

#include "platform/posix/base/guid_text.h"
#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/disk_volumes.h"
#include "platform/posix/shadow/shadow_stores.h"

namespace {

LowerVolume AsLowerVolume(const VolumeSpan &span)
{
    LowerVolume volume;
    volume.volume = const_cast<VolumeSpan *>(&span);
    volume.read = ReadVolumeSpan;
    volume.size = span.size;
    return volume;
}

} // namespace

bool OpenShadowImages(const VolumeSpan &volume, const std::vector<const VolumeSpan *> &others,
                      std::vector<ShadowImage> &images, Fault &fault)
{
    std::vector<LowerVolume> rest;
    for (const VolumeSpan *other : others)
        rest.push_back(AsLowerVolume(*other));
    std::vector<ShadowStore> stores;
    if (!ListShadowStores(AsLowerVolume(volume), rest, stores, fault))
        return false;
    for (ShadowStore &store : stores) {
        ShadowImage one = {nullptr, nullptr, store.creationTime, BracedGuidText(store.copy)};
        Fault unread;
        // The image takes the store, and closes it also where it cannot be made.
        if (OpenCallbackImage(volume.tsk, store.store, ReadShadowStore, CloseShadowStore, store.size, "shadow copy",
                              one.image, unread))
            one.fs = OpenWindowsFileSystem(volume.tsk, one.image, 0);
        store.store = nullptr;
        images.push_back(one);
    }
    return true;
}
