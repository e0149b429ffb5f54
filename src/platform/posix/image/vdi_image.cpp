// A VDI chain: the child, then each parent found by its creation UUID.
#include "platform/posix/image/vdi_image.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <cstdio>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/parent_lookup.h"

namespace {

// As VirtualBox names snapshot files: the first three fields little-endian.
std::string UuidText(const unsigned char *uuid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", ReadLe32(uuid),
                  ReadLe16(uuid + 4), ReadLe16(uuid + 6), uuid[8], uuid[9], uuid[10], uuid[11], uuid[12], uuid[13],
                  uuid[14], uuid[15]);
    return text;
}

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
bool FindVdiParent(const std::string &child, const unsigned char *uuid, std::string &found, Fault &fault)
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
                return true;
            }
        }
    fault = {"", "its parent VDI " + UuidText(uuid) + " is missing (looked among the .vdi files of " + folder +
                     " and " + above + ")"};
    return false;
}

ssize_t VdiRead(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    return ReadVdi(static_cast<const VdiLayer *>(disk), offset, buffer, size);
}

} // namespace

bool OpenVdiImage(const TskFunctions *tsk, int root, const std::string &path, TSK_IMG_INFO *&image, Fault &fault)
{
    // Kept for the life of the process, which reads nothing else.
    static std::deque<VdiLayer> layers;
    ChainFiles chain;
    VdiLayer *child = nullptr, *last = nullptr;
    for (std::string at = path;;) {
        int fd = OpenChainFile(at, fault, child == nullptr ? root : -1);
        if (fd < 0)
            return false;
        layers.emplace_back();
        VdiLayer *layer = &layers.back();
        // A parent is found by its identity, so a file met twice is a loop.
        if (!AddChainLink(chain, fd, at, fault))
            return false;
        if (!ReadVdiLayer(fd, at, *layer, fault)) {
            fault.file = LinkFile(path, at);
            return false;
        }
        (last == nullptr ? child : last->parent) = layer;
        last = layer;
        if (layer->type != VdiTypeDifferencing)
            break;
        if (!FindVdiParent(at, layer->linkageUuid, at, fault)) {
            fault.file = LinkFile(path, layer->path);
            return false;
        }
    }
    return OpenCallbackImage(tsk, child, VdiRead, child->diskSize, "VDI", image, fault);
}
