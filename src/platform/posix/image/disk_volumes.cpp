#include "platform/posix/image/disk_volumes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const std::size_t SectorSize = 512;

// libtsk's description of its last error, on one line.
std::string LastTskError(const TskFunctions *tsk)
{
    const char *why = tsk->error_get();
    std::string text = why != nullptr ? why : "";
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    tsk->error_reset();
    return text;
}

// A qcow2 image as libtsk sees an image: its own read through libqcow.
struct QcowImage {
    TSK_IMG_INFO info; // first, as libtsk hands it back to the callbacks
    const QcowFunctions *qcow;
    libqcow_file_t *file;
};

ssize_t QcowRead(TSK_IMG_INFO *image, TSK_OFF_T offset, char *buffer, std::size_t size)
{
    QcowImage *qcow = reinterpret_cast<QcowImage *>(image);
    return qcow->qcow->file_read_buffer_at_offset(qcow->file, buffer, size, offset, nullptr);
}

// The image lives as long as the process that reads it.
void QcowClose(TSK_IMG_INFO *)
{
}

void QcowStat(TSK_IMG_INFO *, FILE *)
{
}

std::uint64_t ReadBigEndian(const unsigned char *bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

bool OpenQcow(const TskFunctions *tsk, const std::string &path, const unsigned char *header, TSK_IMG_INFO *&image,
              std::string &problem)
{
    if (ReadBigEndian(header + 8, 8) != 0) {
        problem = "qcow2 image with a backing file, which is not read";
        return false;
    }
    const QcowFunctions *qcow = QcowLibrary(problem);
    if (qcow == nullptr)
        return false;
    QcowImage *opened = static_cast<QcowImage *>(std::calloc(1, sizeof(QcowImage)));
    size64_t size = 0;
    if (opened == nullptr || qcow->file_initialize(&opened->file, nullptr) != 1 ||
        qcow->file_open(opened->file, path.c_str(), LIBQCOW_OPEN_READ, nullptr) != 1 ||
        qcow->file_get_media_size(opened->file, &size, nullptr) != 1) {
        problem = "damaged qcow2 image";
        return false;
    }
    opened->qcow = qcow;
    image = tsk->img_open_external(opened, static_cast<TSK_OFF_T>(size), SectorSize, QcowRead, QcowClose, QcowStat);
    if (image == nullptr) {
        problem = "qcow2 image not readable (" + LastTskError(tsk) + ")";
        return false;
    }
    return true;
}

// The start sector of the partition the MBR marks bootable; 0 for none.
std::uint64_t BootableStart(const TskFunctions *tsk, TSK_IMG_INFO *image)
{
    unsigned char mbr[SectorSize];
    if (tsk->img_read(image, 0, reinterpret_cast<char *>(mbr), sizeof mbr) != static_cast<ssize_t>(sizeof mbr) ||
        mbr[510] != 0x55 || mbr[511] != 0xAA) {
        tsk->error_reset();
        return 0;
    }
    for (int entry = 0; entry < 4; ++entry) {
        const unsigned char *slot = mbr + 446 + 16 * entry;
        if (slot[0] == 0x80)
            return slot[8] | slot[9] << 8 | slot[10] << 16 | static_cast<std::uint64_t>(slot[11]) << 24;
    }
    return 0;
}

bool IsWindowsFileSystem(const TSK_FS_INFO *fs)
{
    return TSK_FS_TYPE_ISFAT(fs->ftype) || TSK_FS_TYPE_ISNTFS(fs->ftype);
}

} // namespace

bool OpenDiskImage(const TskFunctions *tsk, const std::string &path, TSK_IMG_INFO *&image, std::string &problem)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    unsigned char header[16] = {};
    ssize_t got = fd < 0 ? -1 : pread(fd, header, sizeof header, 0);
    if (fd < 0 || got < 0) {
        problem = std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    close(fd);
    if (got == 0) {
        problem = "empty file";
        return false;
    }
    if (got == static_cast<ssize_t>(sizeof header) && std::memcmp(header, "QFI\xfb", 4) == 0)
        return OpenQcow(tsk, path, header, image, problem);
    const char *names[] = {path.c_str()};
    image = tsk->img_open_utf8(1, names, TSK_IMG_TYPE_DETECT, 0);
    if (image == nullptr) {
        problem = "not a readable disk image (" + LastTskError(tsk) + ")";
        return false;
    }
    return true;
}

bool ListDiskVolumes(const TskFunctions *tsk, TSK_IMG_INFO *image, std::vector<DiskVolume> &volumes,
                     std::string &problem)
{
    TSK_VS_INFO *table = tsk->vs_open(image, 0, TSK_VS_TYPE_DETECT);
    if (table == nullptr) {
        tsk->error_reset();
        TSK_FS_INFO *fs = tsk->fs_open_img(image, 0, TSK_FS_TYPE_DETECT);
        if (fs == nullptr || !IsWindowsFileSystem(fs)) {
            problem = "no partition table and no FAT or NTFS file system";
            tsk->error_reset();
            return false;
        }
        volumes.push_back(DiskVolume{1, "", fs, true});
        return true;
    }
    // The table's own order: primaries by slot, then each link of the
    // extended chain; libtsk lists by position on the disk.
    std::vector<const TSK_VS_PART_INFO *> parts;
    for (TSK_PNUM_T i = 0; i < table->part_count; ++i) {
        const TSK_VS_PART_INFO *part = tsk->vs_part_get(table, i);
        if (part != nullptr && (part->flags & TSK_VS_PART_FLAG_ALLOC) != 0 && (part->flags & TSK_VS_PART_FLAG_META) == 0)
            parts.push_back(part);
    }
    std::stable_sort(parts.begin(), parts.end(), [](const TSK_VS_PART_INFO *a, const TSK_VS_PART_INFO *b) {
        return a->table_num != b->table_num ? a->table_num < b->table_num : a->slot_num < b->slot_num;
    });
    std::uint64_t bootable = BootableStart(tsk, image);
    for (const TSK_VS_PART_INFO *part : parts) {
        TSK_FS_INFO *fs = tsk->fs_open_vol(part, TSK_FS_TYPE_DETECT);
        tsk->error_reset();
        if (fs != nullptr && !IsWindowsFileSystem(fs))
            fs = nullptr;
        volumes.push_back(DiskVolume{static_cast<int>(volumes.size() + 1), part->desc != nullptr ? part->desc : "", fs,
                                     bootable != 0 && part->start == bootable});
    }
    if (volumes.empty()) {
        problem = "a partition table without partitions";
        return false;
    }
    if (std::none_of(volumes.begin(), volumes.end(), [](const DiskVolume &v) { return v.active; }))
        volumes[0].active = true;
    return true;
}
