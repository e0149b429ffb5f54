#include "platform/posix/image/disk_volumes.h"


#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/posix/image/gpt_layout.h"
#include "platform/posix/image/mbr_layout.h"
#include "platform/posix/image/raw_image.h"
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

struct OwnPartition {
    std::uint64_t first; // sector
    const char *name;
};

// The partitions of a GPT that Windows makes for itself, by their first
// sector, as the primary header's entries give them; none where those
// cannot be read. libtsk names a GPT partition by its entry's name alone.
std::vector<OwnPartition> WindowsOwnPartitionsOf(const TskFunctions *tsk, TSK_IMG_INFO *image, unsigned sectorSize)
{
    const std::uint32_t EntriesRead = 1024, EntrySizeLargest = 4096;
    std::vector<OwnPartition> own;
    std::vector<unsigned char> header(sectorSize);
    unsigned char entry[GptEntrySizeLeast];
    if (sectorSize < GptEntrySizeAt + 4 ||
        tsk->img_read(image, static_cast<TSK_OFF_T>(GptHeaderSector * sectorSize),
                      reinterpret_cast<char *>(&header[0]), sectorSize) != static_cast<ssize_t>(sectorSize) ||
        !HasGptSignature(&header[0])) {
        tsk->error_reset();
        return own;
    }
    std::uint64_t at = ReadLe64(&header[GptEntriesSectorAt]);
    std::uint32_t count = ReadLe32(&header[GptEntryCountAt]), size = ReadLe32(&header[GptEntrySizeAt]);
    if (size < GptEntrySizeLeast || size > EntrySizeLargest ||
        at >= static_cast<std::uint64_t>(image->size) / sectorSize)
        return own;
    for (std::uint32_t i = 0; i < count && i < EntriesRead; ++i) {
        TSK_OFF_T from = static_cast<TSK_OFF_T>(at * sectorSize + std::uint64_t(i) * size);
        if (tsk->img_read(image, from, reinterpret_cast<char *>(entry), sizeof entry) !=
            static_cast<ssize_t>(sizeof entry))
            break;
        if (const char *name = WindowsOwnPartitionName(entry))
            own.push_back(OwnPartition{ReadLe64(entry + GptEntryFirstSectorAt), name});
    }
    tsk->error_reset();
    return own;
}

// A plain file that is no disk may be a registry file named in the drive's
// place; a container holding one is still a disk, oddly filled.
std::string NoDiskWords(const TskFunctions *tsk, TSK_IMG_INFO *image)
{
    unsigned char head[BootRecordSize];
    std::size_t wanted = image->size < static_cast<TSK_OFF_T>(sizeof head) ? static_cast<std::size_t>(image->size)
                                                                          : sizeof head;
    const char *words = nullptr;
    if (IsRawImage(image) && image->size > 0 &&
        tsk->img_read(image, 0, reinterpret_cast<char *>(head), wanted) == static_cast<ssize_t>(wanted))
        words = RegistryFileInsteadOfDisk(head, wanted);
    tsk->error_reset();
    return words != nullptr ? words : "no partition table and no FAT or NTFS file system";
}

// A volume with no FAT or NTFS of its own may be BitLocker's: then its file
// system is read through the decrypted layer over it.
void OpenEncryptedVolume(const TskFunctions *tsk, TSK_IMG_INFO *image, std::uint64_t offset, std::uint64_t size,
                         VolumeKeys *keys, DiskVolume &volume)
{
    unsigned char first[BootRecordSize];
    if (keys == nullptr || size < sizeof first ||
        tsk->img_read(image, static_cast<TSK_OFF_T>(offset), reinterpret_cast<char *>(first), sizeof first) !=
            static_cast<ssize_t>(sizeof first)) {
        tsk->error_reset();
        return;
    }
    if (OpenBitLockerLayer(tsk, image, offset, size, first, *keys, volume.bitlocker, volume.layer, volume.locked) &&
        volume.layer != nullptr)
        volume.fs = OpenWindowsFileSystem(tsk, volume.layer, 0);
}

} // namespace

TSK_FS_INFO *OpenWindowsFileSystem(const TskFunctions *tsk, TSK_IMG_INFO *image, TSK_OFF_T offset)
{
    for (TSK_FS_TYPE_ENUM kind : {TSK_FS_TYPE_FAT_DETECT, TSK_FS_TYPE_NTFS_DETECT}) {
        TSK_FS_INFO *fs = tsk->fs_open_img(image, offset, kind);
        tsk->error_reset();
        if (fs != nullptr)
            return fs;
    }
    return nullptr;
}

bool ListDiskVolumes(const TskFunctions *tsk, TSK_IMG_INFO *image, std::vector<DiskVolume> &volumes,
                     std::vector<std::string> &notes, Fault &fault, VolumeKeys *keys)
{
    // The volume systems, in the order Windows reads them: GPT where a disk
    // has one, else its MBR, and no other kind (libtsk's own detection tries
    // five, and leaks the protective MBR's table it drops). A dynamic disk's
    // LDM is read over these (dynamic_volumes.h).
    const TSK_VS_TYPE_ENUM VolumeSystems[] = {TSK_VS_TYPE_GPT, TSK_VS_TYPE_DOS};
    TSK_VS_INFO *table = nullptr;
    for (TSK_VS_TYPE_ENUM kind : VolumeSystems) {
        if ((table = tsk->vs_open(image, 0, kind)) != nullptr)
            break;
        tsk->error_reset();
    }
    if (table == nullptr) {
        tsk->error_reset();
        DiskVolume bare{1, "", OpenWindowsFileSystem(tsk, image, 0), true, 0, nullptr};
        bare.size = static_cast<std::uint64_t>(image->size);
        if (bare.fs == nullptr)
            OpenEncryptedVolume(tsk, image, 0, static_cast<std::uint64_t>(image->size), keys, bare);
        if (bare.fs == nullptr && bare.locked.empty()) {
            tsk->error_reset();
            fault = {"", NoDiskWords(tsk, image)};
            return false;
        }
        volumes.push_back(bare);
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
    std::vector<OwnPartition> own;
    if (table->vstype == TSK_VS_TYPE_GPT)
        own = WindowsOwnPartitionsOf(tsk, image, table->block_size);
    for (const TSK_VS_PART_INFO *part : parts) {
        // A damaged table may place a partition past any offset there is.
        std::uint64_t start = part->start, unit = table->block_size;
        TSK_FS_INFO *fs = unit > 0 && start <= static_cast<std::uint64_t>(INT64_MAX) / unit
                              ? OpenWindowsFileSystem(tsk, image, static_cast<TSK_OFF_T>(start * unit))
                              : nullptr;
        auto ownOne =
            std::find_if(own.begin(), own.end(), [&](const OwnPartition &o) { return o.first == part->start; });
        volumes.push_back(DiskVolume{static_cast<int>(volumes.size() + 1), part->desc != nullptr ? part->desc : "", fs,
                                     bootable != 0 && part->start == bootable,
                                     table->offset + part->start * table->block_size,
                                     ownOne != own.end() ? ownOne->name : nullptr});
        // libtsk may give a damaged table a block size of 0.
        volumes.back().size = unit > 0 && part->len <= UINT64_MAX / unit ? part->len * unit : 0;
        if (fs == nullptr && volumes.back().size != 0)
            OpenEncryptedVolume(tsk, image, volumes.back().offset, volumes.back().size, keys, volumes.back());
    }
    tsk->vs_close(table); // what the volumes keep of it is copied
    if (volumes.empty()) {
        fault = {"", "a partition table without partitions"};
        return false;
    }
    if (std::none_of(volumes.begin(), volumes.end(), [](const DiskVolume &v) { return v.active; }))
        volumes[0].active = true;
    return true;
}
