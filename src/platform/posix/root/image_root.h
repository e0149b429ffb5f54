// A Windows installation read straight out of a disk image or a block
// device, without mounting it.
#pragma once

#include <string>

#include "platform/posix/root/installation.h"
#include "platform/posix/sandbox/child_lockdown.h"

// Looks at the image `root` (any container, partition table and FAT or NTFS
// file system the readers know) and chooses its installation as on a
// directory. The chosen registry files come back open, read on demand from
// the child that keeps the image open until the last of them goes; nothing
// is written anywhere. The child parses under `use`'s sandbox.
Installation FindInDiskImage(const std::string &root, const std::string &windir,
                             SandboxUse use = SandboxUse::Available);
