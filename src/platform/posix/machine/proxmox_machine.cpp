// Proxmox qemu-server <id>.conf: the current state's settings first, then a
// [section] for each snapshot, each naming its parent. A disk setting is
// "volume,option=value,...", the volume "storage:name" or a path.
#include <vector>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_formats.h"
#include "platform/posix/machine/machine_lines.h"
#include "platform/posix/machine/machine_paths.h"
#include "platform/posix/machine/proxmox_storage.h"

namespace {

struct DiskBus {
    const char *name;
    long count; // qemu-server's ide0-3, sata0-5, scsi0-30, virtio0-15
};
// In SeaBIOS's order for the disks the boot order leaves out.
const DiskBus Buses[] = {{"ide", 4}, {"sata", 6}, {"scsi", 31}, {"virtio", 16}};
const long BootListed = 1000; // ranks below are places in "boot: order="

struct Setting {
    int section; // 0 the current state
    std::string_view key, value;
};

// The rank of a disk key ("scsi1"), or -1 when the key is no disk.
long DiskRank(std::string_view key)
{
    for (std::size_t bus = 0; bus < sizeof Buses / sizeof Buses[0]; ++bus) {
        std::string_view name = Buses[bus].name;
        long index = 0;
        if (key.size() > name.size() && key.substr(0, name.size()) == name &&
            MachineNumber(key.substr(name.size()), Buses[bus].count - 1, index))
            return BootListed + static_cast<long>(bus) * 64 + index;
    }
    return -1;
}

long BootRank(std::string_view boot, std::string_view key)
{
    std::size_t at = boot.find("order=");
    std::string_view rest = at == std::string_view::npos ? std::string_view() : boot.substr(at + 6);
    rest = rest.substr(0, rest.find(','));
    for (long position = 0; !rest.empty() && position < BootListed; ++position) {
        std::size_t cut = rest.find(';');
        if (rest.substr(0, cut) == key)
            return position;
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    return -1;
}

std::string_view Find(const std::vector<Setting> &settings, int section, std::string_view key)
{
    for (const Setting &s : settings)
        if (s.section == section && s.key == key)
            return s.value;
    return {};
}

bool AddDisk(const MachineConfig &config, std::string_view key, std::string_view value, long rank,
             MachineDisks &disks, Fault &fault)
{
    std::string_view volume = value.substr(0, value.find(','));
    for (std::string_view rest = value; !rest.empty();) {
        std::size_t comma = rest.find(',');
        std::string_view option = rest.substr(0, comma);
        if (option == "media=cdrom")
            return true;
        if (option.rfind("file=", 0) == 0)
            volume = option.substr(5);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    if (volume.empty() || volume == "none" || volume == "cdrom")
        return true;
    MachineDisk *disk = AddMachineDisk(disks, fault);
    if (disk == nullptr)
        return false;
    disk->slot = std::string(key);
    disk->rank = rank;
    if (volume.front() == '/' || volume.find(':') == std::string_view::npos)
        NameMachineFile(*disk, config.folder, volume);
    else
        NameProxmoxVolume(config, volume, *disk);
    return true;
}

} // namespace

bool ReadProxmoxMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault)
{
    MachineLines lines = {std::string_view(config.bytes, config.size), 0, 0};
    std::vector<std::string_view> sections(1); // "" for the current state; "" too for [PENDING] and [special:*]
    std::vector<Setting> settings;
    std::string_view line, key, value;
    int chosen = snapshot.empty() ? 0 : -1;
    while (NextMachineLine(lines, line, fault)) {
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string_view name = line.substr(1, line.size() - 2);
            bool snapshotSection = name != "PENDING" && name.rfind("special:", 0) != 0 && !name.empty();
            sections.push_back(snapshotSection ? name : std::string_view());
            if (snapshotSection && name == snapshot)
                chosen = static_cast<int>(sections.size()) - 1;
            continue;
        }
        if (!SplitMachineSetting(line, ':', key, value)) {
            fault = {"", "line " + std::to_string(lines.number) + " is not a \"key: value\" setting"};
            return false;
        }
        settings.push_back({static_cast<int>(sections.size()) - 1, key, value});
    }
    if (!fault.words.empty())
        return false;
    if (chosen < 0) {
        fault = {"", "no snapshot section is named [" + snapshot + "]"};
        return false;
    }
    int at = chosen;
    for (std::size_t steps = 0; !Find(settings, at, "parent").empty(); ++steps) {
        std::string_view parent = Find(settings, at, "parent");
        int found = -1;
        for (std::size_t s = 1; s < sections.size() && found < 0; ++s)
            found = sections[s] == parent ? static_cast<int>(s) : -1;
        if (found < 0 || steps >= sections.size()) {
            fault = {"", found < 0 ? "parent \"" + std::string(parent) + "\" is not a section of the file"
                                   : "the snapshots' parents form a loop"};
            return false;
        }
        at = found;
    }
    std::string_view boot = Find(settings, chosen, "boot"), bootDisk = Find(settings, chosen, "bootdisk");
    for (const Setting &s : settings) {
        long rank = s.section == chosen ? DiskRank(s.key) : -1;
        if (rank < 0)
            continue;
        long place = s.key == bootDisk ? 0 : BootRank(boot, s.key);
        if (!AddDisk(config, s.key, s.value, place >= 0 ? place : rank, disks, fault))
            return false;
    }
    return true;
}
