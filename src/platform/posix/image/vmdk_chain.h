// A VMDK disk and its delta links, read grain by grain: the newest link
// whose hosted sparse extent holds a grain gives it (its data, or zeros for
// a zeroed grain), an absent grain falls through to the parent, and the
// oldest link's absent grains read as zeros. A link with another kind of
// extent (flat, stream-optimized, VMFS) is read through libvmdk, which then
// answers for it and every link below it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/image/image_libraries.h"

// One link as libvmdk opened it (with its parent handle set) and its path.
struct VmdkOpenedLink {
    libvmdk_handle_t *handle;
    std::string path;
};

struct VmdkChain;

// `links` base first. Null with `fault` set when an extent's file cannot
// be opened or its header or grain directory is damaged.
VmdkChain *OpenVmdkChain(const VmdkFunctions *vmdk, const std::vector<VmdkOpenedLink> &links, Fault &fault);

// The disk's bytes at `offset`; the count read, -1 on error.
ssize_t ReadVmdkChain(void *chain, std::uint64_t offset, char *buffer, std::size_t size);
