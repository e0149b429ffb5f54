#include "platform/posix/machine/proxmox_storage.h"

#include <string>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_lines.h"
#include "platform/posix/machine/machine_paths.h"

namespace {

enum VolumeKind { kInFolder, kOnDevice, kOnNetwork };

struct StorageType {
    const char *type;
    VolumeKind kind;
    const char *baseKey;  // the setting naming the folder, volume group or pool
    const char *baseHead; // put before the base: "/dev/"
    const char *volumeHead; // put between base and volume: "/images/"
};

const StorageType StorageTypes[] = {
    {"dir", kInFolder, "path", "", "/images/"},      {"nfs", kInFolder, "path", "", "/images/"},
    {"cifs", kInFolder, "path", "", "/images/"},     {"glusterfs", kInFolder, "path", "", "/images/"},
    {"cephfs", kInFolder, "path", "", "/images/"},   {"btrfs", kInFolder, "path", "", "/images/"},
    {"lvm", kOnDevice, "vgname", "/dev/", "/"},      {"lvmthin", kOnDevice, "vgname", "/dev/", "/"},
    {"zfspool", kOnDevice, "pool", "/dev/zvol/", "/"}, {"rbd", kOnNetwork, "", "", ""},
    {"iscsi", kOnNetwork, "", "", ""},               {"iscsidirect", kOnNetwork, "", "", ""},
    {"zfs", kOnNetwork, "", "", ""},                 {"pbs", kOnNetwork, "", "", ""},
    {"esxi", kOnNetwork, "", "", ""},
};

// The type and base setting of storage `id` in storage.cfg; false when it
// defines none of that name, or with `fault` on a line too long.
bool FindStorage(std::string_view text, std::string_view id, const char *baseKey, std::string_view &type,
                 std::string_view &base, Fault &fault)
{
    MachineLines lines = {text, 0, 0};
    std::string_view line, key, value;
    bool inside = false, found = false;
    while (NextMachineLine(lines, line, fault)) {
        if (line.empty() || line.front() == '#')
            continue;
        // A storage opens with "type: id"; its settings are "key value", with no colon before a blank.
        if (SplitMachineSetting(line, ':', key, value) && key.find_first_of(" \t") == std::string_view::npos &&
            value.find_first_of(" \t") == std::string_view::npos && !value.empty()) {
            inside = value == id;
            if (inside) {
                type = key;
                found = true;
            }
            continue;
        }
        std::size_t blank = line.find_first_of(" \t");
        if (inside && baseKey != nullptr && line.substr(0, blank) == baseKey && blank != std::string_view::npos)
            base = TrimBlanks(line.substr(blank));
    }
    return found;
}

} // namespace

void NameProxmoxVolume(const MachineConfig &config, std::string_view volume, MachineDisk &disk)
{
    disk.recorded.assign(volume.substr(0, kMaxMachinePath));
    std::size_t colon = volume.find(':');
    std::string_view id = volume.substr(0, colon), name = volume.substr(colon + 1);
    if (config.storage == nullptr) {
        disk.fault = {config.storagePath, "not there, so volume " + disk.recorded + " cannot be named"};
        return;
    }
    std::string_view type, base;
    Fault fault;
    std::string_view text(config.storage, config.storageSize);
    if (!FindStorage(text, id, nullptr, type, base, fault)) {
        disk.fault = {config.storagePath, fault.words.empty() ? "defines no storage \"" + std::string(id) + "\""
                                                              : fault.words};
        return;
    }
    for (const StorageType &known : StorageTypes) {
        if (type != known.type)
            continue;
        if (known.kind == kOnNetwork) {
            disk.fault = {"", "volume " + disk.recorded + " is on " + known.type + " storage, not a file on this host"};
            return;
        }
        FindStorage(text, id, known.baseKey, type, base, fault);
        std::string folder = base.empty() && (type == "nfs" || type == "cifs") ? "/mnt/pve/" + std::string(id)
                                                                                 : std::string(base);
        if (folder.empty() || (known.kind == kInFolder && folder.front() != '/')) {
            disk.fault = {config.storagePath, "storage \"" + std::string(id) + "\" has no " +
                                                  (folder.empty() ? "" : "absolute ") + known.baseKey};
            return;
        }
        // A linked clone's volume is "<base vmid>/<base>/<vmid>/<name>"; its file is the last two.
        std::size_t second = name.find('/', name.find('/') + 1);
        bool clone = second != std::string_view::npos && name.find('/', second + 1) != std::string_view::npos;
        if (known.kind == kInFolder && clone)
            name = name.substr(second + 1);
        std::string path = known.baseHead + folder + known.volumeHead + std::string(name);
        NameMachineFile(disk, "", path);
        disk.recorded.assign(volume.substr(0, kMaxMachinePath));
        return;
    }
    disk.fault = {config.storagePath, "storage \"" + std::string(id) + "\" is of type " + std::string(type) +
                                          ", which this program does not know"};
}
