// A VDI chain: the child, then each parent found by its creation UUID.
#include "platform/posix/image/vdi_image.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/guid_text.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/parent_lookup.h"

namespace {

// The .vdi files of `folder`, by name.
std::vector<std::string> VdiFiles(const std::string &folder)
{
    std::vector<std::string> found;
    int listed = OpenEvidenceFolder(folder);
    DIR *dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (dir == nullptr) {
        if (listed >= 0)
            close(listed);
        return found;
    }
    while (const dirent *entry = readdir(dir)) {
        std::size_t length = std::strlen(entry->d_name);
        if (length > 4 && strcasecmp(entry->d_name + length - 4, ".vdi") == 0)
            found.push_back(InFolder(folder, entry->d_name));
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

// The .vdi in the child's folder or the one above whose creation UUID is `uuid`.
// The parent is left open in `opened`, read from then on.
bool FindVdiParent(const std::string &child, const unsigned char *uuid, std::string &found, Fault &fault,
                   OwnedFd &opened)
{
    std::string folder = FolderOf(child), above = InFolder(folder, "..");
    for (const std::string &where : {folder, above})
        for (const std::string &path : VdiFiles(where)) {
            OwnedFd file(OpenEvidenceFile(path));
            unsigned char header[VdiHeaderEnd];
            bool match = file.Valid() && ReadExactlyAt(file.fd, header, sizeof header, 0) &&
                         ReadLe32(header + VdiSignatureAt) == VdiSignature &&
                         std::memcmp(header + VdiCreateUuidAt, uuid, VdiUuidSize) == 0;
            if (match) {
                found = path;
                opened = std::move(file);
                return true;
            }
        }
    fault = {"", "its parent VDI " + BracedGuidText(uuid, true) + " is missing (looked among the .vdi files of " + folder +
                     " and " + above + ")"};
    return false;
}

ssize_t VdiRead(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    return ReadVdi(static_cast<const VdiLayer *>(disk), offset, buffer, size);
}

// The child and every parent under it.
void CloseVdi(void *disk)
{
    for (VdiLayer *layer = static_cast<VdiLayer *>(disk); layer != nullptr;) {
        VdiLayer *parent = layer->parent;
        if (layer->fd >= 0)
            close(layer->fd);
        delete layer;
        layer = parent;
    }
}

} // namespace

bool OpenVdiImage(const TskFunctions *tsk, int root, const std::string &path, TSK_IMG_INFO *&image, ChainFiles &chain,
                  Fault &fault)
{
    VdiLayer *child = nullptr, *last = nullptr;
    OwnedFd parent; // each parent as the lookup found it open
    for (std::string at = path;;) {
        OwnedFd fd(OpenChainFile(at, fault, child == nullptr ? root : parent.fd));
        parent.Reset();
        if (!fd.Valid())
            break;
        VdiLayer *layer = new VdiLayer;
        (last == nullptr ? child : last->parent) = layer;
        last = layer;
        // A parent is found by its identity, so a file met twice is a loop.
        if (!AddChainLink(chain, fd.fd, at, fault))
            break;
        layer->fd = fd.Release();
        if (!ReadVdiLayer(layer->fd, at, *layer, fault)) {
            fault.file = LinkFile(path, at);
            break;
        }
        if (layer->type != VdiTypeDifferencing)
            return OpenCallbackImage(tsk, child, VdiRead, CloseVdi, child->diskSize, "VDI", image, fault);
        if (!FindVdiParent(at, layer->linkageUuid, at, fault, parent)) {
            fault.file = LinkFile(path, layer->path);
            break;
        }
    }
    CloseVdi(child);
    return false;
}
