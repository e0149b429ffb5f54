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

#include "platform/posix/base/owned_fd.h"
#include "platform/posix/image/image_libraries.h"

// One link as libvmdk opened it (with its parent handle set), what libvmdk
// reads it through, and its extents' files, each opened once, in the
// descriptor's order.
struct VmdkOpenedLink {
    std::string path;
    libvmdk_handle_t *handle = nullptr;
    libbfio_handle_t *bytes = nullptr;
    libbfio_pool_t *pool = nullptr;
    std::vector<OwnedFd> extents;
    std::vector<std::string> extentNames; // as messages name them
};

// Frees libvmdk's handles, children first, and closes the links' files.
void CloseVmdkLinks(const VmdkFunctions *vmdk, const BfioFunctions &bfio, std::vector<VmdkOpenedLink> &links);

struct VmdkChain;

// `links` newest first, taken by the chain (and closed when it cannot be
// read). Null with `fault` set when an extent's header or grain directory
// is damaged.
VmdkChain *OpenVmdkChain(const VmdkFunctions *vmdk, const BfioFunctions &bfio, std::vector<VmdkOpenedLink> &links,
                         Fault &fault);

// The disk's bytes at `offset`; the count read, -1 on error.
ssize_t ReadVmdkChain(void *chain, std::uint64_t offset, char *buffer, std::size_t size);

// Closes the chain's links and frees it.
void CloseVmdkChain(void *chain);
