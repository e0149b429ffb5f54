#include "platform/posix/root/volume_events.h"

#include <algorithm>
#include <string>

#include "platform/posix/base/trace_line.h"

namespace {

const char *FileSystemName(TSK_FS_TYPE_ENUM type)
{
    const struct {
        TSK_FS_TYPE_ENUM type;
        const char *name;
    } Names[] = {{TSK_FS_TYPE_FAT12, "fat12"}, {TSK_FS_TYPE_FAT16, "fat16"}, {TSK_FS_TYPE_FAT32, "fat32"},
                 {TSK_FS_TYPE_EXFAT, "exfat"}, {TSK_FS_TYPE_NTFS, "ntfs"}};
    for (const auto &one : Names)
        if (one.type == type)
            return one.name;
    return "other";
}

} // namespace

void TraceDiskVolumes(const std::vector<DiskVolume> &disk, const std::vector<Volume> &volumes,
                      const std::vector<Candidate> &found)
{
    if (!Tracing())
        return;
    for (const DiskVolume &one : disk) {
        TraceLine event("volume");
        if (one.disk != 0)
            event.Number("disk", one.disk);
        event.Number("partition", one.partition);
        if (!one.dynamic.empty())
            event.Text("name", one.dynamic);
        if (one.fs != nullptr)
            event.Text("fs", FileSystemName(one.fs->ftype));
        else
            event.Null("fs");
        event.Number("offset", static_cast<long long>(one.offset));
        if (one.windowsOwn != nullptr || !one.description.empty())
            event.Text("type", one.windowsOwn != nullptr ? one.windowsOwn : one.description);
        std::vector<std::string> names;
        for (const Candidate &candidate : found)
            if (volumes[candidate.volume].partition == one.partition && volumes[candidate.volume].disk == one.disk &&
                volumes[candidate.volume].dynamic == one.dynamic)
                names.push_back(InstallationName(volumes[candidate.volume], candidate.dir));
        names.erase(std::unique(names.begin(), names.end()), names.end());
        event.List("installations", names).Write();
    }
}
