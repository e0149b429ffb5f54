// VHD (fixed, dynamic, differencing) and VHDX (fixed, dynamic,
// differencing) through libvhdi, each parent found from its child's
// locators and checked against the identity the child records.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/image/image_libraries.h"
#include "platform/posix/image/parent_lookup.h"

// `vhdx`: the file starts "vhdxfile"; else it has a VHD footer. A fault
// read past (a checksum that fails) adds a line to `notes`. `chain` gets
// each file read, child first.
bool OpenVhdiImage(const TskFunctions *tsk, int fd, const std::string &path, bool vhdx, TSK_IMG_INFO *&image,
                   std::vector<std::string> &notes, ChainFiles &chain, Fault &fault);
