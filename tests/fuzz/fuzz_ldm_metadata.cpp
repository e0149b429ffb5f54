// Any bytes as a dynamic disk's private header (the first sector) and the
// start of its database (the rest, at the sector the real seeds' header
// names): the checks must keep libldm from reading outside what it is
// handed, and every volume it then describes must read within its disks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/dynamic_volumes.h"

// libldm leaks as it disposes of a disk group, in what glib allocates for
// it (glib has no frame pointers: the stack ends there); nothing else here
// allocates through glib.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libldm-1.0.so\nleak:libglib-2.0.so\n";
}

namespace {

const std::uint64_t DiskSize = 52428800;              // the real disks'
const std::uint64_t DatabaseAt = 100352ull * 512;     // where their header places the database
const unsigned char Mbr[] = {0x42};                   // one partition, dynamic

struct FuzzDisk {
    const std::uint8_t *data;
    std::size_t size;
};

void Overlay(std::uint64_t from, const std::uint8_t *bytes, std::size_t count, std::uint64_t offset, char *buffer,
             std::size_t size)
{
    std::uint64_t start = std::max(from, offset), end = std::min(from + count, offset + size);
    if (start < end)
        std::memcpy(buffer + (start - offset), bytes + (start - from), static_cast<std::size_t>(end - start));
}

ssize_t ReadFuzzDisk(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    const FuzzDisk &self = *static_cast<FuzzDisk *>(disk);
    if (offset >= DiskSize)
        return 0;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, DiskSize - offset));
    std::memset(buffer, 0, size);
    const std::uint8_t signature[] = {0x55, 0xAA};
    Overlay(446 + 4, Mbr, sizeof Mbr, offset, buffer, size);
    Overlay(510, signature, sizeof signature, offset, buffer, size);
    Overlay(6 * 512, self.data, std::min<std::size_t>(self.size, 512), offset, buffer, size);
    if (self.size > 512)
        Overlay(DatabaseAt, self.data + 512, self.size - 512, offset, buffer, size);
    return static_cast<ssize_t>(size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fault fault;
    const TskFunctions *tsk = TskLibrary(fault);
    static FuzzDisk disk;
    disk = {data, size};
    TSK_IMG_INFO *image = nullptr;
    if (tsk == nullptr || !OpenCallbackImage(tsk, &disk, ReadFuzzDisk, DiskSize, "fuzz", image, fault))
        std::abort();
    std::vector<DynamicVolume> volumes;
    std::vector<std::string> notes;
    if (!ListDynamicVolumes(tsk, {image}, volumes, notes, fault))
        std::abort();
    std::vector<char> buffer(65536);
    for (const DynamicVolume &volume : volumes)
        for (TSK_OFF_T at = 0; volume.image != nullptr && at < volume.image->size && at < (4 << 20);
             at += static_cast<TSK_OFF_T>(buffer.size()))
            if (tsk->img_read(volume.image, at, buffer.data(), buffer.size()) < 0)
                std::abort(); // its partitions were checked against its disks: every read must succeed
    for (const std::string &note : notes)
        if (note.empty() || note.find('\n') != std::string::npos)
            std::abort();
    tsk_img_close(image);
    for (const DynamicVolume &volume : volumes)
        if (volume.image != nullptr)
            tsk_img_close(volume.image);
    return 0;
}
