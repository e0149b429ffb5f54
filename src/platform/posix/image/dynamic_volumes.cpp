#include "platform/posix/image/dynamic_volumes.h"

#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/ldm_functions.h"
#include "platform/posix/image/ldm_volume_read.h"

namespace {

// A volume's image owns its layout, not the disks the layout reads from.
void CloseLayout(void *layout)
{
    delete static_cast<VolumeLayout *>(layout);
}

// Names come from the metadata as stored, and libldm's messages quote them:
// a control character in one would break the line it is said on.
std::string OneLine(const char *text)
{
    std::string line = text != nullptr ? text : "";
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return line;
}

std::string TakeText(const LdmFunctions *ldm, gchar *text)
{
    std::string taken = OneLine(text);
    ldm->free_memory(text);
    return taken;
}

// The disk libldm was handed as "disk N" (N from 1), or null where it found
// none for this LDM disk.
TSK_IMG_INFO *DiskOf(const LdmFunctions *ldm, LDMDisk *disk, const std::vector<TSK_IMG_INFO *> &disks)
{
    std::string device = TakeText(ldm, ldm->disk_get_device(disk));
    for (std::size_t index = 0; index < disks.size(); ++index)
        if (device == "disk " + std::to_string(index + 1))
            return disks[index];
    return nullptr;
}

bool KindOf(LDMVolumeType type, DynamicKind &kind)
{
    switch (type) {
    case LDM_VOLUME_TYPE_SIMPLE: kind = SimpleVolume; return true;
    case LDM_VOLUME_TYPE_SPANNED: kind = SpannedVolume; return true;
    case LDM_VOLUME_TYPE_STRIPED: kind = StripedVolume; return true;
    case LDM_VOLUME_TYPE_MIRRORED: kind = MirroredVolume; return true;
    case LDM_VOLUME_TYPE_RAID5: kind = Raid5Volume; return true;
    }
    return false;
}

// The partitions in libldm's order, which is their order in the volume.
// Sizes come in sectors; false where they overflow in bytes.
bool AddMembers(const LdmFunctions *ldm, LDMVolume *volume, const std::vector<TSK_IMG_INFO *> &disks,
                std::uint64_t sector, VolumeLayout &layout)
{
    GArray *partitions = ldm->volume_get_partitions(volume);
    bool fits = partitions != nullptr;
    for (guint index = 0; fits && index < partitions->len; ++index) {
        LDMPartition *partition = g_array_index(partitions, LDMPartition *, index);
        LDMDisk *disk = ldm->partition_get_disk(partition);
        std::uint64_t start = ldm->partition_get_start(partition), size = ldm->partition_get_size(partition);
        std::uint64_t dataStart = disk != nullptr ? ldm->disk_get_data_start(disk) : 0;
        fits = disk != nullptr && start <= UINT64_MAX / sector - dataStart && size <= UINT64_MAX / sector;
        if (fits)
            layout.members.push_back({DiskOf(ldm, disk, disks), TakeText(ldm, ldm->disk_get_name(disk)),
                                      (dataStart + start) * sector, size * sector});
        if (disk != nullptr)
            ldm->object_unref(disk);
    }
    if (partitions != nullptr)
        ldm->array_unref(partitions);
    return fits;
}

void AddVolume(const TskFunctions *tsk, const LdmFunctions *ldm, LDMVolume *volume, const std::string &group,
               const std::vector<TSK_IMG_INFO *> &disks, std::uint64_t sector, std::vector<DynamicVolume> &volumes,
               std::vector<std::string> &notes)
{
    DynamicVolume found = {TakeText(ldm, ldm->volume_get_name(volume)), nullptr, ""};
    VolumeLayout layout = {tsk, SimpleVolume, ldm->volume_get_size(volume), ldm->volume_get_chunk_size(volume), {}};
    std::string why;
    if (!KindOf(ldm->volume_get_voltype(volume), layout.kind) || layout.size > UINT64_MAX / sector ||
        layout.chunk > UINT64_MAX / sector || !AddMembers(ldm, volume, disks, sector, layout)) {
        notes.push_back(group + " " + found.name + ": not read (libldm gives it a kind or sizes past what can be read)");
        return;
    }
    layout.size *= sector;
    layout.chunk *= sector;
    if (!CheckVolumeLayout(layout, why)) {
        notes.push_back(group + " " + found.name + ": not read (" + why + ")");
        return;
    }
    found.lacking = LackingDisks(layout);
    if (found.lacking.empty() && !MissingDisks(layout).empty())
        notes.push_back(group + " " + found.name + ": read " +
                        (layout.kind == MirroredVolume ? "from the half that is there" : "through parity") +
                        ", without " + MissingDisks(layout));
    if (found.lacking.empty()) {
        Fault fault;
        if (!OpenCallbackImage(tsk, new VolumeLayout(layout), ReadDynamicVolume, CloseLayout, layout.size,
                               "dynamic volume", found.image, fault)) {
            notes.push_back(group + " " + found.name + ": " + FaultText(fault));
            return;
        }
    }
    volumes.push_back(found);
}

} // namespace

bool ListDynamicVolumes(const TskFunctions *tsk, const std::vector<TSK_IMG_INFO *> &disks,
                        std::vector<DynamicVolume> &volumes, std::vector<std::string> &notes, Fault &fault)
{
    const LdmFunctions *ldm = LdmLibrary(fault);
    if (ldm == nullptr)
        return false;
    LDM *set = ldm->create();
    std::uint64_t sector = 512;
    for (std::size_t index = 0; index < disks.size(); ++index) {
        std::string name = "disk " + std::to_string(index + 1);
        int fd = -1;
        Fault copied;
        GError *error = nullptr;
        if (!IsDynamicDisk(tsk, disks[index]))
            continue;
        sector = disks[index]->sector_size != 0 ? disks[index]->sector_size : 512;
        if (!CopyLdmMetadata(tsk, disks[index], fd, copied))
            notes.push_back(name + ": " + FaultText(copied));
        else if (!ldm->add_fd(set, fd, static_cast<guint>(sector), name.c_str(), &error)) {
            notes.push_back(name + ": dynamic disk metadata not readable (" +
                            (error != nullptr ? OneLine(error->message) : "libldm gives no reason") + ")");
            if (error != nullptr)
                ldm->error_free(error);
        }
    }
    GArray *groups = ldm->get_disk_groups(set);
    for (guint g = 0; groups != nullptr && g < groups->len; ++g) {
        LDMDiskGroup *group = g_array_index(groups, LDMDiskGroup *, g);
        std::string groupName = TakeText(ldm, ldm->group_get_name(group));
        GArray *members = ldm->group_get_volumes(group);
        for (guint v = 0; members != nullptr && v < members->len; ++v)
            AddVolume(tsk, ldm, g_array_index(members, LDMVolume *, v), groupName, disks, sector, volumes, notes);
        if (members != nullptr)
            ldm->array_unref(members);
    }
    if (groups != nullptr)
        ldm->array_unref(groups);
    ldm->object_unref(set);
    return true;
}
