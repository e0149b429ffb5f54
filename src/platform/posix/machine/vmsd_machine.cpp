// VMware's .vmsd: the machine's snapshots, each with the disks it was taken
// with ("snapshotN.diskM.fileName", ".node"), linked by parent uids. The
// running disks are in the .vmx alone.
#include <vector>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_formats.h"
#include "platform/posix/machine/machine_paths.h"
#include "platform/posix/machine/vmx_settings.h"

namespace {

const long MaxSnapshots = 1000; // VMware allows 496 on one machine
const long MaxSnapshotDisks = kMaxMachineDisks;

struct Snapshot {
    std::string_view uid, parent, name;
    std::string_view file[MaxSnapshotDisks], node[MaxSnapshotDisks];
};

// "snapshotN.rest" into N and rest; false for other keys.
bool SnapshotKey(std::string_view key, long &index, std::string_view &rest)
{
    if (key.size() < 10 || !RegNamesEqual(key.substr(0, 8), "snapshot"))
        return false;
    std::size_t dot = key.find('.', 8);
    return dot != std::string_view::npos && MachineNumber(key.substr(8, dot - 8), MaxSnapshots - 1, index) &&
           !(rest = key.substr(dot)).empty();
}

int FindSnapshot(const std::vector<Snapshot> &snapshots, std::string_view uid)
{
    for (std::size_t i = 0; i < snapshots.size(); ++i)
        if (!uid.empty() && snapshots[i].uid == uid)
            return static_cast<int>(i);
    return -1;
}

bool KeepSetting(std::vector<Snapshot> &snapshots, long index, std::string_view rest, std::string_view value)
{
    if (snapshots.size() <= static_cast<std::size_t>(index))
        snapshots.resize(index + 1);
    Snapshot &s = snapshots[index];
    long disk = 0;
    std::size_t dot = rest.find('.', 1);
    if (RegNamesEqual(rest, ".uid"))
        s.uid = value;
    else if (RegNamesEqual(rest, ".parent"))
        s.parent = value;
    else if (RegNamesEqual(rest, ".displayName"))
        s.name = value;
    else if (rest.size() > 5 && RegNamesEqual(rest.substr(0, 5), ".disk") && dot != std::string_view::npos) {
        if (!MachineNumber(rest.substr(5, dot - 5), MaxSnapshotDisks - 1, disk))
            return false;
        if (RegNamesEqual(rest.substr(dot), ".fileName"))
            s.file[disk] = value;
        else if (RegNamesEqual(rest.substr(dot), ".node"))
            s.node[disk] = value;
    }
    return true;
}

} // namespace

bool ReadVmsdMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault)
{
    if (snapshot.empty()) {
        fault = {"", "a .vmsd lists the snapshots only; the machine's current disks are in its .vmx: name that, or "
                     "choose a snapshot"};
        return false;
    }
    VmxSettings settings;
    if (!ReadVmxSettings(config, settings, fault))
        return false;
    std::vector<Snapshot> snapshots;
    long index = 0;
    std::string_view rest;
    for (const auto &setting : settings)
        if (SnapshotKey(setting.first, index, rest) && !KeepSetting(snapshots, index, rest, setting.second)) {
            fault = {"", std::string(setting.first) + " is beyond " + std::to_string(MaxSnapshotDisks) + " disks"};
            return false;
        }
    int chosen = -1;
    for (std::size_t i = 0; i < snapshots.size(); ++i) {
        if (VmxValue(snapshots[i].name) != snapshot && (snapshots[i].uid.empty() || snapshots[i].uid != snapshot))
            continue;
        if (chosen >= 0) {
            fault = {"", "more than one snapshot is named \"" + snapshot + "\"; choose one by its uid"};
            return false;
        }
        chosen = static_cast<int>(i);
    }
    if (chosen < 0) {
        fault = {"", "no snapshot is named \"" + snapshot + "\" or has that uid"};
        return false;
    }
    int at = chosen;
    for (std::size_t steps = 0; !snapshots[at].parent.empty(); ++steps) {
        int parent = FindSnapshot(snapshots, snapshots[at].parent);
        if (parent < 0 || steps >= snapshots.size()) {
            fault = {"", parent < 0 ? "snapshot uid " + std::string(snapshots[at].uid) + " has parent uid " +
                                          std::string(snapshots[at].parent) + ", which is not in the file"
                                    : "the snapshots' parents form a loop"};
            return false;
        }
        at = parent;
    }
    const Snapshot &s = snapshots[chosen];
    for (long d = 0; d < MaxSnapshotDisks; ++d) {
        if (s.file[d].empty() && s.node[d].empty())
            continue;
        VmxSlot slot = {kVmxIde, 0, 0};
        std::string node = std::string(s.node[d]) + ".";
        std::string_view text = node;
        MachineDisk *disk = AddMachineDisk(disks, fault);
        if (disk == nullptr)
            return false;
        Fault slotFault;
        bool known = ParseVmxSlot(text, slot, slotFault);
        disk->slot = known ? VmxSlotName(slot) : "disk" + std::to_string(d);
        disk->rank = known ? VmxSlotRank(slot, "") : kVmxSlots * 2 + d;
        NameMachineFile(*disk, config.folder, VmxValue(s.file[d]));
        if (!slotFault.words.empty()) {
            disk->file.clear();
            disk->fault = slotFault;
        }
    }
    return true;
}
