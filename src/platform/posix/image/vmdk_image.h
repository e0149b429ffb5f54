// VMDK (monolithic sparse, flat and split extents, delta links), opened and
// checked through libvmdk, read as vmdk_chain.h tells; each parent found by
// its child's parentFileNameHint and checked by content id (the child's
// parentCID against the parent's CID).
#pragma once

#include <string>

#include "platform/posix/image/image_libraries.h"
#include "platform/posix/image/parent_lookup.h"

// `chain` gets each link read, child first.
bool OpenVmdkImage(const TskFunctions *tsk, int fd, const std::string &path, TSK_IMG_INFO *&image, ChainFiles &chain,
                   Fault &fault);
