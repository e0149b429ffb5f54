// libldm reads a disk through a descriptor, and a dynamic disk may lie in
// any container: it is handed a sparse copy in memory, the disk's size, that
// holds only what it reads of the disk.
#pragma once

#include "platform/posix/image/image_libraries.h"

// Whether `disk` is dynamic: an MBR partition of type 0x42, or on GPT the
// LDM metadata partition.
bool IsDynamicDisk(const TskFunctions *tsk, TSK_IMG_INFO *disk);

// The copy of `disk`'s partition table, private header and database, as a
// descriptor at its start; false with `fault` where the metadata is damaged
// in a way libldm would misread (see ldm_database_check.h).
bool CopyLdmMetadata(const TskFunctions *tsk, TSK_IMG_INFO *disk, int &fd, Fault &fault);
