// What every configuration reader shares: adding a disk within the bounds,
// naming its file as the configuration records it, the BIOS's order.
#pragma once

#include <string>
#include <string_view>

#include "platform/posix/machine/machine_disks.h"

// A new, cleared disk at the end of `disks`; null with `fault` when it is full.
MachineDisk *AddMachineDisk(MachineDisks &disks, Fault &fault);

// Sets the disk's recorded name and its file on this host: a relative name
// (either separator) in `folder`; a Windows drive or share path by its last
// part in `folder`, as the machine's folder moves with its disks; a POSIX
// path as it is. A name that climbs with "..", a host device, or one too long
// is named in the disk's fault instead.
void NameMachineFile(MachineDisk &disk, const std::string &folder, std::string_view recorded);

// Appends a recorded backing file; false, with the disk's fault, past the bound.
bool AddMachineParent(MachineDisk &disk, std::string_view name);

// Orders the disks by rank, ties as the configuration lists them.
void SortMachineDisks(MachineDisks &disks);

// UUIDs compare in any case, with or without braces.
bool SameMachineUuid(std::string_view a, std::string_view b);

// Decimal digits only, at most `limit`; false otherwise.
bool MachineNumber(std::string_view text, long limit, long &value);

// The fault of a format that keeps no snapshots in the file read.
bool NoMachineSnapshots(const char *where, const std::string &snapshot, Fault &fault);
