// VMware's .vmx: each present disk as "<bus><n>:<unit>.fileName", in the
// BIOS's order; CD-ROM drives are left out, independent disks marked.
#include <vector>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_formats.h"
#include "platform/posix/machine/machine_paths.h"
#include "platform/posix/machine/vmx_settings.h"

namespace {

const long ScsiControllerUnit = 7; // a SCSI bus's own initiator

struct SlotSettings {
    bool seen;
    std::string_view present, fileName, deviceType, mode;
};

bool ControllerOff(const VmxSettings &settings, const VmxSlot &slot)
{
    std::string name = VmxSlotName(slot);
    const std::string_view *present = FindVmxSetting(settings, name.substr(0, name.find(':')) + ".present");
    return present != nullptr && !VmxTrue(*present);
}

} // namespace

bool ReadVmxMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault)
{
    if (!snapshot.empty())
        return NoMachineSnapshots("a .vmx keeps no snapshots: they are listed in the .vmsd beside it; name that",
                                  snapshot, fault);
    VmxSettings settings;
    if (!ReadVmxSettings(config, settings, fault))
        return false;
    std::vector<SlotSettings> slots(kVmxSlots);
    bool anySlot = false;
    for (const auto &setting : settings) {
        std::string_view rest = setting.first;
        VmxSlot slot;
        if (!ParseVmxSlot(rest, slot, fault)) {
            if (!fault.words.empty())
                return false;
            continue;
        }
        SlotSettings &kept = slots[VmxSlotIndex(slot)];
        kept.seen = anySlot = true;
        if (RegNamesEqual(rest, ".present"))
            kept.present = setting.second;
        else if (RegNamesEqual(rest, ".fileName"))
            kept.fileName = setting.second;
        else if (RegNamesEqual(rest, ".deviceType"))
            kept.deviceType = setting.second;
        else if (RegNamesEqual(rest, ".mode"))
            kept.mode = setting.second;
    }
    if (!anySlot && FindVmxSetting(settings, "encryption.data") != nullptr) {
        fault = {"", "the machine's settings are encrypted (encryption.data): its disks cannot be named without "
                     "its password"};
        return false;
    }
    const std::string_view *order = FindVmxSetting(settings, "bios.hddOrder");
    for (int index = 0; index < kVmxSlots; ++index) {
        const SlotSettings &kept = slots[index];
        VmxSlot slot = {index / (4 * 64), (index / 64) % 4, index % 64};
        std::string type = VmxValue(kept.deviceType);
        if (!kept.seen || !VmxTrue(kept.present) || ControllerOff(settings, slot) ||
            RegNamesEqual(std::string_view(type).substr(0, 5), "cdrom") || RegNamesEqual(type, "atapi-cdrom"))
            continue;
        MachineDisk *disk = AddMachineDisk(disks, fault);
        if (disk == nullptr)
            return false;
        disk->slot = VmxSlotName(slot);
        disk->rank = VmxSlotRank(slot, order != nullptr ? *order : std::string_view());
        disk->independent = RegNamesEqual(kept.mode.substr(0, 11), "independent");
        NameMachineFile(*disk, config.folder, VmxValue(kept.fileName));
        if (slot.bus == kVmxScsi && slot.unit == ScsiControllerUnit) {
            disk->file.clear();
            disk->fault = {"", "unit 7 of a SCSI bus is the controller itself; no disk sits there"};
        }
    }
    return true;
}
