#include "platform/posix/image/disk_volumes.h"


#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/posix/image/mbr_layout.h"
#include "platform/posix/image/registry_file_root.h"

namespace {

// A boot record (the MBR or an EBR) at `sector`; false when it cannot be
// read or lacks its signature.
bool ReadBootRecord(const TskFunctions *tsk, TSK_IMG_INFO *image, std::uint64_t sector,
                    unsigned char (&record)[BootRecordSize])
{
    if (tsk->img_read(image, static_cast<TSK_OFF_T>(sector * BootRecordSize), reinterpret_cast<char *>(record),
                      sizeof record) == static_cast<ssize_t>(sizeof record) &&
        HasBootSignature(record))
        return true;
    tsk->error_reset();
    return false;
}

// The start sector of the partition the MBR marks bootable; 0 for none.
std::uint64_t BootableStart(const unsigned char *mbr)
{
    for (int entry = 0; entry < BootRecordEntries; ++entry) {
        const unsigned char *slot = BootRecordEntry(mbr, entry);
        if (slot[EntryStatusAt] == BootableStatus)
            return EntryStart(slot);
    }
    return 0;
}

// The first extended entry's start, offset by `base`; 0 for none.
std::uint64_t ExtendedStart(const unsigned char *record, std::uint64_t base)
{
    for (int entry = 0; entry < BootRecordEntries; ++entry) {
        const unsigned char *slot = BootRecordEntry(record, entry);
        if (IsExtendedEntry(slot))
            return base + EntryStart(slot);
    }
    return 0;
}

// libtsk stops where an extended partition's chain of boot records comes
// back on itself and keeps what it read before.
bool ExtendedChainLoops(const TskFunctions *tsk, TSK_IMG_INFO *image, const unsigned char *mbr)
{
    const std::size_t MaxLinks = 1024;
    std::uint64_t extended = ExtendedStart(mbr, 0);
    unsigned char record[BootRecordSize];
    std::vector<std::uint64_t> visited;
    for (std::uint64_t at = extended; at != 0;) {
        if (std::find(visited.begin(), visited.end(), at) != visited.end() || visited.size() == MaxLinks)
            return true;
        visited.push_back(at);
        if (!ReadBootRecord(tsk, image, at, record))
            return false;
        at = ExtendedStart(record, extended);
    }
    return false;
}

bool IsWindowsFileSystem(const TSK_FS_INFO *fs)
{
    return TSK_FS_TYPE_ISFAT(fs->ftype) || TSK_FS_TYPE_ISNTFS(fs->ftype);
}

// A plain file that is no disk may be a registry file named in the drive's
// place; a container holding one is still a disk, oddly filled.
std::string NoDiskWords(const TskFunctions *tsk, TSK_IMG_INFO *image)
{
    unsigned char head[BootRecordSize];
    std::size_t wanted = image->size < static_cast<TSK_OFF_T>(sizeof head) ? static_cast<std::size_t>(image->size)
                                                                          : sizeof head;
    const char *words = nullptr;
    if (image->itype == TSK_IMG_TYPE_RAW && image->size > 0 &&
        tsk->img_read(image, 0, reinterpret_cast<char *>(head), wanted) == static_cast<ssize_t>(wanted))
        words = RegistryFileInsteadOfDisk(head, wanted);
    tsk->error_reset();
    return words != nullptr ? words : "no partition table and no FAT or NTFS file system";
}

} // namespace

bool ListDiskVolumes(const TskFunctions *tsk, TSK_IMG_INFO *image, std::vector<DiskVolume> &volumes,
                     std::vector<std::string> &notes, Fault &fault)
{
    TSK_VS_INFO *table = tsk->vs_open(image, 0, TSK_VS_TYPE_DETECT);
    if (table == nullptr) {
        tsk->error_reset();
        TSK_FS_INFO *fs = tsk->fs_open_img(image, 0, TSK_FS_TYPE_DETECT);
        if (fs == nullptr || !IsWindowsFileSystem(fs)) {
            tsk->error_reset();
            fault = {"", NoDiskWords(tsk, image)};
            return false;
        }
        volumes.push_back(DiskVolume{1, "", fs, true});
        return true;
    }
    unsigned char mbr[BootRecordSize];
    bool hasMbr = ReadBootRecord(tsk, image, 0, mbr);
    // Windows still mounts the partitions before the loop; so does this.
    if (hasMbr && ExtendedChainLoops(tsk, image, mbr))
        notes.push_back("the extended partition's chain of boot records loops; the partitions after the loop are "
                        "not read");
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
        fault = {"", "a partition table without partitions"};
        return false;
    }
    if (std::none_of(volumes.begin(), volumes.end(), [](const DiskVolume &v) { return v.active; }))
        volumes[0].active = true;
    return true;
}
