// The container of a disk image: the file (or chain of files) that holds
// the disk's sectors.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/image/image_libraries.h"

// Opens `path` read-only, telling the container by content: qcow2, VHD,
// VHDX, VDI and VMDK with their parents, through libqcow, libvhdi, libvmdk
// or the VDI reader, E01 through libewf, the rest as a raw disk, split or
// whole. Every file is read from a descriptor opened once. False
// with `fault` saying why it cannot be read; a fault in a file of the
// chain that is read past adds a line to `notes`, whether or not it opens.
// Where `path` is open already as `held`, a duplicate of it is read.
bool OpenDiskImage(const TskFunctions *tsk, const std::string &path, TSK_IMG_INFO *&image,
                   std::vector<std::string> &notes, Fault &fault, int held = -1);
