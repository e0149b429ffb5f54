#include "platform/posix/image/disk_volumes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/image/ewf_segments.h"
#include "platform/posix/image/qcow_image.h"
#include "platform/posix/image/vdi_image.h"
#include "platform/posix/image/vhdi_image.h"
#include "platform/posix/image/vmdk_image.h"

namespace {

const std::size_t SectorSize = 512;

// The first sector of an MBR or EBR entry, relative as the table has it.
std::uint64_t SlotStart(const unsigned char *slot)
{
    return slot[8] | slot[9] << 8 | slot[10] << 16 | static_cast<std::uint64_t>(slot[11]) << 24;
}

// A boot record (the MBR or an EBR) at `sector`; false when it cannot be
// read or lacks its signature.
bool ReadBootRecord(const TskFunctions *tsk, TSK_IMG_INFO *image, std::uint64_t sector,
                    unsigned char (&record)[SectorSize])
{
    if (tsk->img_read(image, static_cast<TSK_OFF_T>(sector * SectorSize), reinterpret_cast<char *>(record),
                      sizeof record) == static_cast<ssize_t>(sizeof record) &&
        record[510] == 0x55 && record[511] == 0xAA)
        return true;
    tsk->error_reset();
    return false;
}

// The start sector of the partition the MBR marks bootable; 0 for none.
std::uint64_t BootableStart(const unsigned char *mbr)
{
    for (int entry = 0; entry < 4; ++entry) {
        const unsigned char *slot = mbr + 446 + 16 * entry;
        if (slot[0] == 0x80)
            return SlotStart(slot);
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
bool ExtendedChainLoops(const TskFunctions *tsk, TSK_IMG_INFO *image, const unsigned char *mbr)
{
    const int MaxLinks = 1024;
    std::uint64_t extended = 0;
    for (int entry = 0; entry < 4 && extended == 0; ++entry) {
        const unsigned char *slot = mbr + 446 + 16 * entry;
        if (IsExtendedType(slot[4]))
            extended = SlotStart(slot);
    }
    unsigned char record[SectorSize];
    std::vector<std::uint64_t> visited;
    for (std::uint64_t at = extended; at != 0;) {
        if (std::find(visited.begin(), visited.end(), at) != visited.end() || visited.size() == MaxLinks)
            return true;
        visited.push_back(at);
        if (!ReadBootRecord(tsk, image, at, record))
            return false;
        std::uint64_t next = 0;
        for (int entry = 0; entry < 4 && next == 0; ++entry) {
            const unsigned char *slot = record + 446 + 16 * entry;
            if (IsExtendedType(slot[4]))
                next = extended + SlotStart(slot);
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
    unsigned char header[SectorSize] = {}, footer[SectorSize] = {};
    ssize_t got = fd < 0 ? -1 : pread(fd, header, sizeof header, 0);
    if (fd < 0 || got < 0) {
        problem = std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    off_t end = lseek(fd, 0, SEEK_END);
    bool footed = end >= static_cast<off_t>(SectorSize) &&
                  pread(fd, footer, sizeof footer, end - static_cast<off_t>(SectorSize)) == sizeof footer;
    std::string missing = got > 0 ? MissingEwfSegment(fd, path, header) : "";
    close(fd);
    if (got == 0) {
        problem = "empty file";
        return false;
    }
    if (!missing.empty()) {
        problem = "E01 image whose segment " + missing + " is missing (the ones before it end with a link to it)";
        return false;
    }
    // Told by content, never by name.
    if (got >= 16 && std::memcmp(header, "QFI\xfb", 4) == 0)
        return OpenQcowImage(tsk, path, image, problem);
    if (got >= 8 && std::memcmp(header, "vhdxfile", 8) == 0)
        return OpenVhdiImage(tsk, path, true, image, problem);
    if (got == static_cast<ssize_t>(sizeof header) && ReadLe32(header + VdiSignatureAt) == VdiSignature)
        return OpenVdiImage(tsk, path, image, problem);
    if ((got >= 8 && std::memcmp(header, "conectix", 8) == 0) || (footed && std::memcmp(footer, "conectix", 8) == 0))
        return OpenVhdiImage(tsk, path, false, image, problem);
    if ((got >= 4 && std::memcmp(header, "KDMV", 4) == 0) ||
        (got >= 21 && std::memcmp(header, "# Disk DescriptorFile", 21) == 0))
        return OpenVmdkImage(tsk, path, image, problem);
    const char *names[] = {path.c_str()};
    image = tsk->img_open_utf8(1, names, TSK_IMG_TYPE_DETECT, 0);
    if (image == nullptr) {
        problem = "not a readable disk image (" + TakeTskError(tsk) + ")";
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
    unsigned char mbr[SectorSize];
    bool hasMbr = ReadBootRecord(tsk, image, 0, mbr);
    if (hasMbr && ExtendedChainLoops(tsk, image, mbr)) {
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
    std::uint64_t bootable = hasMbr ? BootableStart(mbr) : 0;
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
