#include "platform/posix/image/vmdk_chain.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/image/vmdk_sparse.h"

namespace {

// A twoGbMaxExtentSparse disk of 2 TiB has 1024 extents.
const int MaxExtents = 1 << 16;

struct VmdkExtent {
    std::uint64_t start, size; // on the disk, in bytes
    VmdkSparseExtent sparse;
};

struct VmdkLink {
    libvmdk_handle_t *handle;
    std::uint64_t size; // the link's own disk size
    bool own;           // read here through its extents, or else through libvmdk
    std::vector<VmdkExtent> extents;
};

// Leaves the link to libvmdk.
bool ReadThroughLibrary(VmdkLink &link)
{
    link.extents.clear();
    return true;
}

// Lists the link's extents; `own` stays false where one is not hosted sparse.
bool ReadLinkExtents(const VmdkFunctions *vmdk, const VmdkOpenedLink &opened, VmdkLink &link, Fault &fault)
{
    int count = 0;
    size64_t mediaSize = 0;
    link = VmdkLink{opened.handle, 0, false, {}};
    if (vmdk->handle_get_media_size(opened.handle, &mediaSize, nullptr) != 1 ||
        vmdk->handle_get_number_of_extents(opened.handle, &count, nullptr) != 1 || count < 1 || count > MaxExtents) {
        fault = {opened.path, "VMDK image whose extents cannot be listed"};
        return false;
    }
    link.size = mediaSize;
    std::uint64_t start = 0;
    for (int index = 0; index < count; ++index) {
        libvmdk_extent_descriptor_t *descriptor = nullptr;
        int type = 0;
        off64_t offset = 0;
        size64_t size = 0;
        bool described = vmdk->handle_get_extent_descriptor(opened.handle, index, &descriptor, nullptr) == 1 &&
                         vmdk->extent_descriptor_get_type(descriptor, &type, nullptr) == 1 &&
                         vmdk->extent_descriptor_get_range(descriptor, &offset, &size, nullptr) == 1 &&
                         static_cast<std::size_t>(index) < opened.extents.size();
        if (descriptor != nullptr)
            vmdk->extent_descriptor_free(&descriptor, nullptr);
        if (!described) {
            fault = {opened.path, "VMDK image whose extent " + std::to_string(index + 1) + " is not described"};
            return false;
        }
        if (type != LIBVMDK_EXTENT_TYPE_SPARSE)
            return ReadThroughLibrary(link);
        // The file the link was opened with: the extent reads through it, and it closes with the link.
        const std::string &file = opened.extentNames[static_cast<std::size_t>(index)];
        VmdkExtent extent = {start, size, {}};
        VmdkExtentKind kind =
            ReadVmdkSparseExtent(opened.extents[static_cast<std::size_t>(index)].fd, file, extent.sparse, fault);
        if (kind == VmdkExtentKind::Other)
            return ReadThroughLibrary(link);
        if (kind == VmdkExtentKind::Damaged)
            return false;
        link.extents.push_back(std::move(extent));
        if (link.extents.back().sparse.capacity < size) {
            fault = {file, "VMDK sparse extent holding less than its descriptor says"};
            return false;
        }
        start += size;
    }
    link.own = true;
    return true;
}

// Reads at most `size` bytes at `offset`, as far as one answer holds: the
// count read, -1 on error.
ssize_t ReadPiece(const VmdkFunctions *vmdk, std::vector<VmdkLink> &links, std::uint64_t offset, char *buffer,
                  std::size_t size)
{
    for (VmdkLink &link : links) {
        // A parent smaller than its child reads as zeros past its end.
        if (!link.own && offset < link.size)
            return vmdk->handle_read_buffer_at_offset(link.handle, buffer,
                                                      static_cast<std::size_t>(std::min<std::uint64_t>(size, link.size - offset)),
                                                      static_cast<off64_t>(offset), nullptr);
        if (!link.own)
            break;
        for (VmdkExtent &extent : link.extents) {
            if (offset < extent.start || offset - extent.start >= extent.size)
                continue;
            VmdkGrain state;
            std::uint64_t at = 0, run = 0, within = offset - extent.start;
            if (!FindVmdkGrain(extent.sparse, within, state, at, run))
                return -1;
            size = static_cast<std::size_t>(std::min<std::uint64_t>({size, run, extent.size - within}));
            if (state == VmdkGrain::Zeroed) {
                std::memset(buffer, 0, size);
                return static_cast<ssize_t>(size);
            }
            if (state == VmdkGrain::Data)
                return ReadExactlyAt(extent.sparse.fd, buffer, size, at) ? static_cast<ssize_t>(size) : -1;
            break;
        }
    }
    std::memset(buffer, 0, size);
    return static_cast<ssize_t>(size);
}

} // namespace

struct VmdkChain {
    const VmdkFunctions *vmdk;
    BfioFunctions bfio;
    std::vector<VmdkOpenedLink> opened; // newest first
    std::vector<VmdkLink> links;        // the same order
};

void CloseVmdkLinks(const VmdkFunctions *vmdk, const BfioFunctions &bfio, std::vector<VmdkOpenedLink> &links)
{
    for (VmdkOpenedLink &link : links) {
        if (link.handle != nullptr) {
            vmdk->handle_close(link.handle, nullptr);
            vmdk->handle_free(&link.handle, nullptr);
        }
        // libvmdk leaves what it was handed with its caller; the pool frees its handles.
        if (link.pool != nullptr)
            bfio.pool_free(&link.pool, nullptr);
        if (link.bytes != nullptr)
            bfio.handle_free(&link.bytes, nullptr);
    }
    links.clear();
}

VmdkChain *OpenVmdkChain(const VmdkFunctions *vmdk, const BfioFunctions &bfio, std::vector<VmdkOpenedLink> &links,
                         Fault &fault)
{
    VmdkChain *chain = new VmdkChain{vmdk, bfio, std::move(links), {}};
    chain->links.resize(chain->opened.size());
    for (std::size_t i = 0; i < chain->opened.size(); ++i) {
        if (!ReadLinkExtents(vmdk, chain->opened[i], chain->links[i], fault)) {
            CloseVmdkChain(chain);
            return nullptr;
        }
    }
    return chain;
}

void CloseVmdkChain(void *disk)
{
    VmdkChain *chain = static_cast<VmdkChain *>(disk);
    CloseVmdkLinks(chain->vmdk, chain->bfio, chain->opened);
    delete chain;
}

ssize_t ReadVmdkChain(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    VmdkChain &chain = *static_cast<VmdkChain *>(disk);
    std::size_t done = 0;
    while (done < size) {
        ssize_t got = ReadPiece(chain.vmdk, chain.links, offset + done, buffer + done, size - done);
        if (got <= 0)
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}
