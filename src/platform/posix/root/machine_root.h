// A root that is a virtual machine's configuration file: told and read in
// the image child, which hands back the machine's disks in its BIOS order;
// the parser then reads those disks in a child of their own.
#pragma once

#include <string>
#include <vector>


// The most bytes a machine's list of disks takes, each path ended by '\n'.
const std::size_t kMachineDiskListLargest = 16384;

// True when `root`, open as `fd`, is a configuration: then its
// MachineFormat, and the disks of the state `snapshot` names ("" the current
// one) in `disks`, or the problem that stops it, one line.
bool ReadMachineConfiguration(int fd, const std::string &root, const std::string &snapshot, int &format,
                              std::string &disks, std::string &problem);

// The trace's `machine` event: the configuration, its format, the snapshot
// read (null: the current state) and the disks, in the machine's order.
void TraceMachine(const std::string &root, int format, const std::string &snapshot,
                  const std::vector<std::string> &disks);

// The disks of such a list, in order.
std::vector<std::string> MachineDisksOf(const std::string &list);
