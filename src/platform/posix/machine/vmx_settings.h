// What the .vmx and the .vmsd share: their "key = value" lines, VMware's
// escapes in values, and the device slots ("scsi0:8") disks sit in.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/posix/machine/machine_disks.h"

typedef std::vector<std::pair<std::string_view, std::string_view>> VmxSettings;

// Every setting of the file, in order; false with `fault` on a bad line.
bool ReadVmxSettings(const MachineConfig &config, VmxSettings &settings, Fault &fault);

// The value with VMware's "|XX" escapes (a byte in hex) undone.
std::string VmxValue(std::string_view value);

// The first value of `key` (any case), or null.
const std::string_view *FindVmxSetting(const VmxSettings &settings, std::string_view key);

bool VmxTrue(std::string_view value);

struct VmxSlot {
    int bus;   // kVmxIde...
    long controller;
    long unit;
};
enum { kVmxIde, kVmxScsi, kVmxSata, kVmxNvme, kVmxBuses };
// A slot with one bus for each controller.
const int kVmxSlots = kVmxBuses * 4 * 64;

// Parses "scsi0:8" off the front of `text`, leaving the rest; false when it
// is no slot, or with `fault` when its numbers are beyond what the bus has.
bool ParseVmxSlot(std::string_view &text, VmxSlot &slot, Fault &fault);
int VmxSlotIndex(const VmxSlot &slot);
std::string VmxSlotName(const VmxSlot &slot);
// The BIOS's order: the slots bios.hddOrder lists, then IDE, SCSI, SATA, NVMe.
long VmxSlotRank(const VmxSlot &slot, std::string_view hddOrder);
