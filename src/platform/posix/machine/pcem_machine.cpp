// 86Box's and PCem's .cfg: INI sections; each hard disk is "hdd_NN_fn" in
// [Hard disks], relative to the .cfg, its bus and channel beside it.
#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_formats.h"
#include "platform/posix/machine/machine_lines.h"
#include "platform/posix/machine/machine_paths.h"

namespace {

const long MaxHardDisks = 99; // hdd_01 to hdd_99, two digits

// NN of "hdd_NN_<rest>", with rest; false for other keys.
bool HardDiskKey(std::string_view key, long &number, std::string_view &rest)
{
    if (key.size() < 8 || key.substr(0, 4) != "hdd_" || key[6] != '_')
        return false;
    rest = key.substr(7);
    return MachineNumber(key.substr(4, 2), MaxHardDisks, number) && number > 0;
}

} // namespace

bool ReadPcEmulatorMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks,
                           Fault &fault)
{
    if (!snapshot.empty())
        return NoMachineSnapshots("86Box and PCem keep no snapshots", snapshot, fault);
    MachineLines lines = {std::string_view(config.bytes, config.size), 0, 0};
    std::string_view line, key, value, rest;
    bool inHardDisks = false;
    std::string_view files[MaxHardDisks + 1];
    while (NextMachineLine(lines, line, fault)) {
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (line.front() == '[') {
            inHardDisks = RegNamesEqual(line, "[Hard disks]");
            continue;
        }
        long number = 0;
        if (inHardDisks && SplitMachineSetting(line, '=', key, value) && HardDiskKey(key, number, rest) &&
            rest == "fn")
            files[number] = value;
    }
    if (!fault.words.empty())
        return false;
    for (long number = 1; number <= MaxHardDisks; ++number) {
        if (files[number].empty())
            continue;
        MachineDisk *disk = AddMachineDisk(disks, fault);
        if (disk == nullptr)
            return false;
        char slot[8];
        snprintf(slot, sizeof slot, "hdd_%02ld", number);
        disk->slot = slot;
        disk->rank = number;
        NameMachineFile(*disk, config.folder, files[number]);
    }
    return true;
}
