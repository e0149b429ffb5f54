// One reader for each configuration format, called by ReadMachineDisks once
// the format is told; each fills `disks` in the machine's own order.
#pragma once

#include "platform/posix/machine/machine_disks.h"

bool ReadVirtualBoxMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault);
bool ReadVmxMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault);
bool ReadVmsdMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault);
bool ReadLibvirtMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault);
bool ReadProxmoxMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault);
bool ReadVirtualPcMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault);
bool ReadPcEmulatorMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks,
                           Fault &fault);
bool ReadHyperVMachine(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault);
