// Proxmox names a disk "storage:volume"; /etc/pve/storage.cfg says where
// each storage keeps its volumes.
#pragma once

#include <string_view>

#include "platform/posix/machine/machine_disks.h"

// Names the disk's file for `volume` through the configuration's storage.cfg,
// or the disk's fault: no storage.cfg, a storage it does not define, a
// device or network volume.
void NameProxmoxVolume(const MachineConfig &config, std::string_view volume, MachineDisk &disk);
