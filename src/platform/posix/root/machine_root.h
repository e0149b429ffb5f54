// A root that is a virtual machine's configuration file: told and read in
// the image child, which hands back the machine's disks in its BIOS order;
// the parser then reads those disks in a child of their own.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/image/disk_container.h"

// The most bytes a machine's list of disks takes: a line a disk, its file,
// the format recorded and the backing files recorded, split by tabs.
const std::size_t kMachineDiskListLargest = 16384;

// A disk as the configuration records it.
struct RecordedDisk {
    std::string file;
    std::string format;               // "" where none is recorded
    std::vector<std::string> parents; // nearest first
};

// True when `root`, open as `fd`, is a configuration: then its
// MachineFormat, and the disks of the state `snapshot` names ("" the current
// one) in `disks`, or the problem that stops it, one line.
bool ReadMachineConfiguration(int fd, const std::string &root, const std::string &snapshot, int &format,
                              std::string &disks, std::string &problem);

// The trace's `machine` event: the configuration, its format, the snapshot
// read (null: the current state), the disks in the machine's order, and
// each disk's container and chain as read (as far as it was read).
void TraceMachine(const std::string &root, int format, const std::string &snapshot,
                  const std::vector<RecordedDisk> &disks, const std::vector<DiskChain> &chains);

// The disks of such a list, in order.
std::vector<RecordedDisk> MachineDisksOf(const std::string &list);

// "" where each disk read is what its configuration records (its format,
// the parents it names), else why not, naming the disk.
std::string RecordedChainsDiffer(const std::vector<RecordedDisk> &disks, const std::vector<DiskChain> &chains);
