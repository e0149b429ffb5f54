// VirtualBox's VDI: fixed, dynamic and differencing disks, read here from
// the header and block map. A differencing VDI records its parent only by
// creation UUID; the parent is looked for among the .vdi files of the
// child's folder and the folder above it (VM/VM.vdi beside
// VM/Snapshots/{uuid}.vdi).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/image/image_libraries.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/image/vdi_header.h"

// One VDI file as its header describes it.
struct VdiLayer {
    std::string path;
    int fd = -1;
    std::uint32_t type = 0;
    std::uint64_t diskSize = 0, dataAt = 0;
    std::uint32_t blockSize = 0, blockExtra = 0;
    std::vector<std::uint32_t> blocks;
    unsigned char createUuid[VdiUuidSize] = {}, linkageUuid[VdiUuidSize] = {};
    VdiLayer *parent = nullptr;
};

// The header and block map of the file open as `fd`, checked against the
// file's size; false with `fault` saying what is wrong (the caller names
// the file).
bool ReadVdiLayer(int fd, const std::string &path, VdiLayer &layer, Fault &fault);

// Reads from the chain that starts at `layer`; the count read, -1 on error.
ssize_t ReadVdi(const VdiLayer *layer, std::uint64_t offset, char *buffer, std::size_t size);

// The chain from `path`, read-only, handed to libtsk; `chain` gets each file read, child first.
bool OpenVdiImage(const TskFunctions *tsk, int fd, const std::string &path, TSK_IMG_INFO *&image, ChainFiles &chain,
                  Fault &fault);
