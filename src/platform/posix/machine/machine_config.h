// Reading a machine's configuration: its format told by content, and the
// reader of that format called from one table.
#pragma once

#include <cstddef>
#include <string>

#include "platform/posix/machine/machine_disks.h"

// The format the bytes are in, told by content.
MachineFormat MachineFormatOf(const char *bytes, std::size_t size);
const char *MachineFormatName(MachineFormat format);

// The disks of the machine's current state (`snapshot` ""), or of the
// snapshot with that name or UUID; false with `fault` when the configuration
// cannot be read or the snapshot is not in it.
bool ReadMachineDisks(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault);

// Where a qemu-server configuration in `folder` finds its storage.cfg:
// /etc/pve/qemu-server and /etc/pve/nodes/<node>/qemu-server both use /etc/pve/storage.cfg.
std::string ProxmoxStoragePath(const std::string &folder);
