// Any bytes as a dynamic disk's private header (the first sector) and its
// database's start (the rest, where the real seeds' header places it): libldm
// must read nothing outside what it is handed, and each volume within its disks.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/image/dynamic_volumes.h"

// libldm's own leak as it disposes of a disk group, in what glib allocates.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libldm-1.0.so\nleak:libglib-2.0.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const off_t diskSize = 52428800, databaseAt = 100352 * 512; // the real disks'
    const unsigned char table[] = {0x42}, signature[] = {0x55, 0xAA};
    int fd = memfd_create("dorovivi-fuzz-ldm", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, diskSize) != 0 || pwrite(fd, table, 1, 446 + 4) != 1 ||
        pwrite(fd, signature, 2, 510) != 2 || pwrite(fd, data, size < 512 ? size : 512, 6 * 512) < 0 ||
        (size > 512 && pwrite(fd, data + 512, size - 512, databaseAt) < 0))
        std::abort();
    Fault fault;
    const TskFunctions *tsk = TskLibrary(fault);
    std::string name = "/proc/self/fd/" + std::to_string(fd);
    TSK_IMG_INFO *disk = tsk != nullptr ? tsk_img_open_sing(name.c_str(), TSK_IMG_TYPE_RAW, 512) : nullptr;
    std::vector<DynamicVolume> volumes;
    std::vector<std::string> notes;
    if (disk == nullptr || !ListDynamicVolumes(tsk, {disk}, volumes, notes, fault))
        std::abort();
    // Reads across each volume, eight of them spread from its start to its
    // end, each crossing a stripe: its partitions were checked against its
    // disks, so every read must succeed.
    std::vector<char> buffer(65536);
    for (const DynamicVolume &volume : volumes)
        for (int part = 0; volume.image != nullptr && part < 8; ++part) {
            TSK_OFF_T at = volume.image->size / 8 * part;
            std::size_t size = static_cast<std::size_t>(std::min<TSK_OFF_T>(volume.image->size - at, buffer.size()));
            if (size > 0 && tsk->img_read(volume.image, at, buffer.data(), size) < 0)
                std::abort();
        }
    for (const std::string &note : notes)
        if (note.empty() || note.find_first_of("\n\r") != std::string::npos)
            std::abort(); // each note is one line
    for (const DynamicVolume &volume : volumes)
        if (volume.image != nullptr)
            tsk_img_close(volume.image);
    tsk_img_close(disk);
    close(fd);
    return 0;
}
