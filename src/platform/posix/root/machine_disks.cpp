#include "platform/posix/root/machine_disks.h"

#include <cstring>

#include "platform/posix/image/disk_container.h"
#include "platform/posix/image/dynamic_volumes.h"

namespace {

// Of a machine's disks, what is said of one begins with its file.
std::string OfDisk(const std::vector<std::string> &disks, std::size_t index, bool machine, const std::string &words)
{
    return machine ? disks[index] + ": " + words : words;
}

} // namespace

bool OpenMachineDisks(const TskFunctions *tsk, const std::vector<std::string> &disks, bool machine, int heldFirst,
                      std::vector<TSK_IMG_INFO *> &images, std::vector<DiskVolume> &volumes,
                      std::vector<DiskChain> &chains, std::vector<std::string> &chainNotes,
                      std::vector<std::string> &notes, Fault &fault, VolumeKeys *keys)
{
    for (std::size_t index = 0; index < disks.size(); ++index) {
        TSK_IMG_INFO *image = nullptr;
        std::vector<std::string> chain;
        chains.emplace_back();
        bool opened = OpenDiskImage(tsk, disks[index], image, chain, fault, index == 0 ? heldFirst : -1, &chains.back());
        for (const std::string &note : chain)
            chainNotes.push_back(OfDisk(disks, index, machine, note));
        if (!opened) {
            fault = {"", OfDisk(disks, index, machine, FaultText(fault))};
            return false;
        }
        images.push_back(image);
        std::vector<DiskVolume> listed;
        std::vector<std::string> said;
        Fault empty;
        if (!ListDiskVolumes(tsk, image, listed, said, empty, keys)) {
            if (disks.size() == 1) {
                fault = {"", OfDisk(disks, index, machine, FaultText(empty))};
                return false;
            }
            said.push_back(FaultText(empty)); // a blank data disk leaves the others to answer
        }
        for (const std::string &line : said)
            notes.push_back(OfDisk(disks, index, machine, line));
        for (DiskVolume &one : listed) {
            one.disk = static_cast<int>(index);
            volumes.push_back(one);
        }
    }
    return true;
}

std::string VolumeLabel(const DiskVolume &volume)
{
    if (!volume.dynamic.empty())
        return volume.dynamic;
    return (volume.disk != 0 ? "rdisk(" + std::to_string(volume.disk) + ")" : std::string()) + "partition(" +
           std::to_string(volume.partition) + ")";
}

namespace {

bool SameFileSystem(const TSK_FS_INFO *a, const TSK_FS_INFO *b)
{
    return a != nullptr && b != nullptr && a->fs_id_used > 0 && a->fs_id_used == b->fs_id_used &&
           std::memcmp(a->fs_id, b->fs_id, a->fs_id_used) == 0;
}

} // namespace

bool AddDynamicVolumes(const TskFunctions *tsk, const std::vector<TSK_IMG_INFO *> &images, bool dynamicReader,
                       std::vector<DiskVolume> &volumes, std::vector<std::string> &notes)
{
    std::vector<bool> dynamic;
    bool any = false;
    for (TSK_IMG_INFO *image : images) {
        dynamic.push_back(IsDynamicDisk(tsk, image));
        any = any || dynamic.back();
    }
    if (!any)
        return true;
    if (!dynamicReader)
        return false;
    // A dynamic disk's own partition holds its volumes' extents: the file
    // system libtsk may find at its start is a volume's first part alone.
    for (DiskVolume &one : volumes) {
        bool own = one.windowsOwn != nullptr || one.description.find("(0x42)") != std::string::npos;
        if (!dynamic[static_cast<std::size_t>(one.disk)] || (!own && one.fs != nullptr))
            continue;
        if (one.fs != nullptr)
            tsk->fs_close(one.fs);
        one.fs = nullptr;
        one.windowsOwn = one.windowsOwn != nullptr ? one.windowsOwn : "dynamic disk's volumes";
    }
    std::vector<DynamicVolume> found;
    Fault fault;
    if (!ListDynamicVolumes(tsk, images, found, notes, fault)) {
        notes.push_back("its dynamic disks are not read: " + FaultText(fault));
        return true;
    }
    for (const DynamicVolume &one : found) {
        TSK_FS_INFO *fs = one.image != nullptr ? OpenWindowsFileSystem(tsk, one.image, 0) : nullptr;
        bool windows = fs != nullptr && (TSK_FS_TYPE_ISFAT(fs->ftype) || TSK_FS_TYPE_ISNTFS(fs->ftype));
        bool kept = false;
        for (const DiskVolume &partition : volumes)
            kept = kept || SameFileSystem(fs, partition.fs);
        if (kept)
            continue;
        if (one.image == nullptr)
            notes.push_back(one.name + ": not read, as it lacks " + one.lacking);
        else if (!windows)
            notes.push_back(one.name + ": no FAT or NTFS file system read there");
        if (windows)
            volumes.push_back(DiskVolume{-1, "dynamic volume", fs, false, 0, nullptr, 0, one.name});
    }
    return true;
}
