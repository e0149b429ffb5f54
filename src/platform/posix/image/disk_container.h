// The container of a disk image: the file (or chain of files) that holds
// the disk's sectors.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/image/image_libraries.h"

// What a disk was read from: its container's name ("qcow2", "VHDX", "raw")
// and the chain's files, child first (a disk without parents: the file).
struct DiskChain {
    const char *container = nullptr;
    std::vector<std::string> files;
    bool whole = false; // every file of it opened
};

// Opens `path` read-only, telling the container by content: qcow2, VHD,
// VHDX, VDI and VMDK with their parents, through libqcow, libvhdi, libvmdk
// or the VDI reader, E01 through libewf, the rest as a raw disk, split or
// whole. Every file is read from a descriptor opened once. False
// with `fault` saying why it cannot be read; a fault in a file of the
// chain that is read past adds a line to `notes`, whether or not it opens.
// Where `path` is open already as `held`, a duplicate of it is read.
// `chain`, where given, gets the container told and the files read, also
// when the chain cannot be read.
bool OpenDiskImage(const TskFunctions *tsk, const std::string &path, TSK_IMG_INFO *&image,
                   std::vector<std::string> &notes, Fault &fault, int held = -1, DiskChain *chain = nullptr);
