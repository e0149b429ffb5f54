#include "platform/posix/machine/vmx_settings.h"

#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_lines.h"
#include "platform/posix/machine/machine_paths.h"

namespace {

struct BusLimits {
    const char *name;
    long controllers; // controllers of the kind a machine can have
    long units;       // units on each
};
const BusLimits Buses[kVmxBuses] = {
    {"ide", 2, 2},
    {"scsi", 4, 64}, // unit 7 included: it is the controller's own
    {"sata", 4, 30},
    {"nvme", 4, 64},
};

int HexDigit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
}

} // namespace

bool ReadVmxSettings(const MachineConfig &config, VmxSettings &settings, Fault &fault)
{
    MachineLines lines = {std::string_view(config.bytes, config.size), 0, 0};
    std::string_view line, key, value;
    while (NextMachineLine(lines, line, fault)) {
        if (line.empty() || line.front() == '#')
            continue;
        if (!SplitMachineSetting(line, '=', key, value)) {
            fault = {"", "line " + std::to_string(lines.number) + " is not a \"key = value\" setting"};
            return false;
        }
        settings.emplace_back(key, value);
    }
    return fault.words.empty();
}

std::string VmxValue(std::string_view value)
{
    std::string text;
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] == '|' && at + 2 < value.size() && HexDigit(value[at + 1]) >= 0 &&
            HexDigit(value[at + 2]) >= 0) {
            text += static_cast<char>(HexDigit(value[at + 1]) * 16 + HexDigit(value[at + 2]));
            at += 2;
        } else {
            text += value[at];
        }
    }
    return text;
}

const std::string_view *FindVmxSetting(const VmxSettings &settings, std::string_view key)
{
    for (const auto &setting : settings)
        if (RegNamesEqual(setting.first, key))
            return &setting.second;
    return nullptr;
}

bool VmxTrue(std::string_view value)
{
    return RegNamesEqual(value, "TRUE");
}

bool ParseVmxSlot(std::string_view &text, VmxSlot &slot, Fault &fault)
{
    for (int bus = 0; bus < kVmxBuses; ++bus) {
        std::string_view name = Buses[bus].name;
        if (text.size() <= name.size() || !RegNamesEqual(text.substr(0, name.size()), name))
            continue;
        std::string_view rest = text.substr(name.size());
        std::size_t colon = rest.find(':'), dot = rest.find('.');
        if (colon == std::string_view::npos || dot == std::string_view::npos || dot < colon)
            return false;
        std::string_view controller = rest.substr(0, colon), unit = rest.substr(colon + 1, dot - colon - 1);
        const char digits[] = "0123456789";
        if (controller.empty() || unit.empty() || controller.find_first_not_of(digits) != std::string_view::npos ||
            unit.find_first_not_of(digits) != std::string_view::npos)
            return false;
        slot.bus = bus;
        if (!MachineNumber(controller, Buses[bus].controllers - 1, slot.controller) ||
            !MachineNumber(unit, Buses[bus].units - 1, slot.unit)) {
            fault = {"", std::string(text.substr(0, name.size() + dot)) + " is not a unit a machine's " +
                             Buses[bus].name + " buses have (" + std::to_string(Buses[bus].controllers) + " of " +
                             std::to_string(Buses[bus].units) + ")"};
            return false;
        }
        text = rest.substr(dot);
        return true;
    }
    return false;
}

int VmxSlotIndex(const VmxSlot &slot)
{
    return static_cast<int>((slot.bus * 4 + slot.controller) * 64 + slot.unit);
}

std::string VmxSlotName(const VmxSlot &slot)
{
    return Buses[slot.bus].name + std::to_string(slot.controller) + ":" + std::to_string(slot.unit);
}

long VmxSlotRank(const VmxSlot &slot, std::string_view hddOrder)
{
    std::string name = VmxSlotName(slot);
    long position = 0;
    std::string_view rest = hddOrder;
    while (!rest.empty() && position < kVmxSlots) {
        std::size_t comma = rest.find(',');
        if (RegNamesEqual(TrimBlanks(rest.substr(0, comma)), name))
            return position;
        ++position;
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return kVmxSlots + VmxSlotIndex(slot);
}
