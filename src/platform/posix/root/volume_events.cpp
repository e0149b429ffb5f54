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

std::string JsonText(std::string_view text)
{
    std::string json;
    AppendJsonString(json, text);
    return json;
}

// What BitLocker's metadata says of the volume and what opened it; never a key.
std::string BitLockerJson(const BitLockerVolume &volume)
{
    std::string json = "{\"guid\":" + JsonText(volume.guid) + ",\"description\":" + JsonText(volume.description) +
                       ",\"method\":" + JsonText(volume.method) + ",\"state\":" + JsonText(volume.state) +
                       ",\"suspended\":" + (volume.suspended ? "true" : "false") + ",\"protectors\":[";
    for (std::size_t i = 0; i < volume.protectors.size(); ++i) {
        const BitLockerProtectorFacts &one = volume.protectors[i];
        json += std::string(i > 0 ? "," : "") + "{\"guid\":" + JsonText(one.guid) + ",\"kind\":" + JsonText(one.kind) +
                (one.keyId.empty() ? "" : ",\"key_id\":" + JsonText(one.keyId)) + "}";
    }
    json += "],\"unlocked_by\":";
    bool by = volume.unlockedBy >= 0 && static_cast<std::size_t>(volume.unlockedBy) < volume.protectors.size();
    json += by ? "{\"guid\":" + JsonText(volume.protectors[volume.unlockedBy].guid) + ",\"kind\":" +
                     JsonText(volume.protectors[volume.unlockedBy].kind) + ",\"key_line\":" +
                     std::to_string(volume.keyLine) + "}"
               : std::string("null");
    return json + (volume.why.empty() ? "" : ",\"locked\":" + JsonText(volume.why)) + "}";
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
        if (one.bitlocker != nullptr)
            event.Json("bitlocker", BitLockerJson(*one.bitlocker));
        std::vector<std::string> names;
        for (const Candidate &candidate : found)
            if (volumes[candidate.volume].partition == one.partition && volumes[candidate.volume].disk == one.disk &&
                volumes[candidate.volume].dynamic == one.dynamic)
                names.push_back(InstallationName(volumes[candidate.volume], candidate.dir));
        names.erase(std::unique(names.begin(), names.end()), names.end());
        event.List("installations", names).Write();
    }
}
