#include "platform/posix/image/disk_volumes.h"

#include <fcntl.h>
#include <sys/stat.h>
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

// libqcow reads what a cut-off file still holds and nothing tells of the
// rest: a table entry pointing past the end of the file says it was cut.
bool QcowCutShort(int fd, std::uint64_t fileSize)
{
    unsigned char header[72];
    if (pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
        return true;
    std::uint64_t clusterBits = ReadBigEndian(header + 20, 4);
    std::uint64_t l1Size = ReadBigEndian(header + 36, 4), l1Offset = ReadBigEndian(header + 40, 8);
    std::uint64_t refcountOffset = ReadBigEndian(header + 48, 8), refcountClusters = ReadBigEndian(header + 56, 4);
    if (clusterBits < 9 || clusterBits > 21 || l1Size > fileSize / 8 || l1Offset > fileSize - l1Size * 8 ||
        refcountClusters > fileSize >> clusterBits || refcountOffset > fileSize - (refcountClusters << clusterBits))
        return true;
    const std::uint64_t clusterSize = 1ULL << clusterBits;
    const std::uint64_t offsetMask = 0x00fffffffffffe00ULL;
    std::vector<unsigned char> l1(l1Size * 8), l2(clusterSize);
    if (l1Size != 0 && pread(fd, l1.data(), l1.size(), static_cast<off_t>(l1Offset)) != static_cast<ssize_t>(l1.size()))
        return true;
    for (std::uint64_t i = 0; i < l1Size; ++i) {
        std::uint64_t table = ReadBigEndian(&l1[i * 8], 8) & offsetMask;
        if (table == 0)
            continue;
        if (table > fileSize - clusterSize ||
            pread(fd, l2.data(), l2.size(), static_cast<off_t>(table)) != static_cast<ssize_t>(l2.size()))
            return true;
        for (std::uint64_t j = 0; j < clusterSize; j += 8) {
            std::uint64_t entry = ReadBigEndian(&l2[j], 8);
            bool compressed = (entry >> 62 & 1) != 0;
            std::uint64_t data = compressed ? entry & ((1ULL << (62 - (clusterBits - 8))) - 1) : entry & offsetMask;
            if (data != 0 && data >= fileSize)
                return true;
            if (!compressed && data != 0 && data > fileSize - clusterSize)
                return true;
        }
    }
    return false;
}

bool OpenQcow(const TskFunctions *tsk, const std::string &path, int fd, const unsigned char *header,
              TSK_IMG_INFO *&image, std::string &problem)
{
    if (ReadBigEndian(header + 8, 8) != 0) {
        problem = "qcow2 image with a backing file, which is not read";
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || QcowCutShort(fd, static_cast<std::uint64_t>(info.st_size))) {
        problem = "qcow2 image cut short or damaged (its tables point past the end of the file)";
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

bool IsExtendedType(unsigned char type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// libtsk stops where an extended partition's chain of boot records comes
// back on itself and keeps what it read; a table in that state is damaged,
// and nothing on it is taken at its word.
bool ExtendedChainLoops(const TskFunctions *tsk, TSK_IMG_INFO *image)
{
    const int MaxLinks = 1024;
    unsigned char record[SectorSize];
    if (tsk->img_read(image, 0, reinterpret_cast<char *>(record), sizeof record) != static_cast<ssize_t>(sizeof record) ||
        record[510] != 0x55 || record[511] != 0xAA) {
        tsk->error_reset();
        return false;
    }
    std::uint64_t extended = 0;
    for (int entry = 0; entry < 4 && extended == 0; ++entry) {
        const unsigned char *slot = record + 446 + 16 * entry;
        if (IsExtendedType(slot[4]))
            extended = slot[8] | slot[9] << 8 | slot[10] << 16 | static_cast<std::uint64_t>(slot[11]) << 24;
    }
    std::vector<std::uint64_t> visited;
    for (std::uint64_t at = extended; at != 0;) {
        if (std::find(visited.begin(), visited.end(), at) != visited.end() || visited.size() == MaxLinks)
            return true;
        visited.push_back(at);
        if (tsk->img_read(image, static_cast<TSK_OFF_T>(at * SectorSize), reinterpret_cast<char *>(record),
                          sizeof record) != static_cast<ssize_t>(sizeof record) ||
            record[510] != 0x55 || record[511] != 0xAA) {
            tsk->error_reset();
            return false;
        }
        std::uint64_t next = 0;
        for (int entry = 0; entry < 4 && next == 0; ++entry) {
            const unsigned char *slot = record + 446 + 16 * entry;
            if (IsExtendedType(slot[4]))
                next = extended + (slot[8] | slot[9] << 8 | slot[10] << 16 | static_cast<std::uint64_t>(slot[11]) << 24);
        }
        at = next;
    }
    return false;
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
    if (got == 0) {
        problem = "empty file";
        close(fd);
        return false;
    }
    if (got == static_cast<ssize_t>(sizeof header) && std::memcmp(header, "QFI\xfb", 4) == 0) {
        bool opened = OpenQcow(tsk, path, fd, header, image, problem);
        close(fd);
        return opened;
    }
    close(fd);
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
    if (ExtendedChainLoops(tsk, image)) {
        problem = "the extended partition's chain of boot records loops";
        return false;
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
