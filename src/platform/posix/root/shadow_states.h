// A volume's shadow copies as states of the installation on it: shadow:N,
// N counted from 1, the oldest, each read from the copy's own file system.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/image/disk_volumes.h"
#include "platform/posix/image/image_tree.h"
#include "platform/posix/image/shadow_layer.h"
#include "platform/posix/root/installation_states.h"

// What the copies are read through, kept while their files are served.
struct ShadowReading {
    std::vector<std::unique_ptr<VolumeSpan>> spans;
    std::vector<std::unique_ptr<ImageTree>> trees;
    std::vector<TSK_IMG_INFO *> images; // closed after the trees' file systems
};

// The tree of `reading` that `tree` is; null where none is.
const ImageTree *ShadowTreeOf(const ShadowReading &reading, const FileTree *tree);

// A state for each shadow copy of `disk[chosen]`, the volume the
// installation `one` lies on (`label` as lines name it); the copies'
// difference areas may lie on any other volume of `disk`. A copy without
// the installation is a state that cannot be read; copies that cannot be
// read at all add a line to `notes`.
void AddShadowStates(const TskFunctions *tsk, const std::vector<DiskVolume> &disk, std::size_t chosen,
                     const std::string &label, const Candidate &one, ShadowReading &reading,
                     std::vector<InstallationState> &states, std::vector<std::string> &notes);
