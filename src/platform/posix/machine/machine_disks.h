// The disks of a virtual machine, from its configuration file's bytes: each
// attached disk in the order the machine's BIOS numbers them, with the file
// its hypervisor takes as the disk's state. Nothing here opens a file: the
// caller hands over the configuration (and, for Proxmox, its storage.cfg)
// and opens what comes back itself.
#pragma once

#include <cstddef>
#include <string>

#include "platform/posix/base/fault.h"

const int kMaxMachineDisks = 64;   // more than any hypervisor here attaches to one machine
const int kMaxMachineParents = 32; // backing files a configuration may record for one disk
const std::size_t kMaxMachinePath = 4096; // PATH_MAX
// A configuration is a few KB; a .vbox carries a copy of the hardware section
// for each snapshot, some 5 KB each, so 4 MiB holds hundreds of them. Beyond
// that it is not a configuration, and nothing is parsed.
const std::size_t kMaxMachineConfigBytes = 4u << 20;
// A line of a text configuration holds one setting, a path at most.
const std::size_t kMaxMachineLine = 65536;

enum MachineFormat {
    kMachineUnknown,
    kMachineVirtualBox, // .vbox (and the old innotek settings)
    kMachineVmx,        // VMware .vmx
    kMachineVmsd,       // VMware .vmsd, the snapshot list beside a .vmx
    kMachineLibvirt,    // libvirt domain XML
    kMachineProxmox,    // Proxmox qemu-server <id>.conf
    kMachineVirtualPc,  // Virtual PC .vmc
    kMachinePcEmulator, // 86Box or PCem .cfg
    kMachineHyperV,     // Hyper-V .vmcx
};

struct MachineDisk {
    std::string slot;     // where it is attached, in the format's words: "SATA 0:0", "scsi0:8", "vda"
    std::string recorded; // the disk's name as the configuration records it
    std::string file;     // that name on this host, relative ones against the folder; "" when not followed
    std::string format;   // the image format, where the configuration records it ("qcow2", "VMDK")
    bool independent;     // VMware: writes go past snapshots
    // Backing files the configuration itself records, nearest first.
    std::string parents[kMaxMachineParents];
    int parentCount;
    Fault fault; // why this disk cannot be followed; the other disks still can
    long rank;   // the BIOS's order among the machine's disks, lowest first
};

struct MachineDisks {
    MachineFormat format;
    int count;
    MachineDisk disk[kMaxMachineDisks];
};

struct MachineConfig {
    const char *bytes; // the configuration file's contents
    std::size_t size;
    std::string folder; // the folder holding it, to which relative names are relative
    // Proxmox: the storage.cfg of the same tree (ProxmoxStoragePath), or null
    // when there is none; storagePath names it either way.
    const char *storage;
    std::size_t storageSize;
    std::string storagePath;
};
