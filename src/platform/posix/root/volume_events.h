// What the image child looked at on a disk, for the trace: one event a
// partition, whether or not an installation was chosen.
#pragma once

#include <vector>

#include "platform/posix/image/disk_volumes.h"
#include "platform/posix/root/installation_choice.h"

// Each of `disk`'s partitions in the order they are numbered: the file
// system read there (null for none), where it starts, its type as the table
// gives it, and the installations `found` on it as DOROVIVI_WINDIR takes
// them. `volumes` are the file systems looked at, as `found` counts them.
void TraceDiskVolumes(const std::vector<DiskVolume> &disk, const std::vector<Volume> &volumes,
                      const std::vector<Candidate> &found);
