#include "platform/posix/image/vmdk_image.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/image/vmdk_chain.h"

namespace {

// What a descriptor says for "no parent".
const std::uint32_t NoParentCid = 0xFFFFFFFF;
const std::size_t MaxHintSize = 4096;

const VmdkFunctions *Vmdk = nullptr;

std::string Hex(std::uint32_t value)
{
    char text[12];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// Opens `path` and its extents; then its parent, which is handed to it.
libvmdk_handle_t *OpenLink(const std::string &path, ChainFiles &chain, std::uint32_t *cid, std::string &problem,
                           std::vector<VmdkOpenedLink> &opened)
{
    const std::string named = chain.seen.empty() ? "" : path + ": ";
    int fd = OpenChainFile(path, problem);
    if (fd < 0)
        return nullptr;
    bool added = AddChainLink(chain, fd, path, problem);
    close(fd);
    if (!added)
        return nullptr;
    libvmdk_handle_t *handle = nullptr;
    std::uint32_t parentCid = NoParentCid;
    if (Vmdk->handle_initialize(&handle, nullptr) != 1 ||
        Vmdk->handle_open(handle, path.c_str(), LIBVMDK_OPEN_READ, nullptr) != 1 ||
        Vmdk->handle_open_extent_data_files(handle, nullptr) != 1 ||
        Vmdk->handle_get_content_identifier(handle, cid, nullptr) != 1 ||
        Vmdk->handle_get_parent_content_identifier(handle, &parentCid, nullptr) != 1) {
        problem = named + "damaged VMDK image or an extent file missing (libvmdk does not open it)";
        return nullptr;
    }
    std::size_t hintSize = 0;
    int hinted = Vmdk->handle_get_utf8_parent_filename_size(handle, &hintSize, nullptr);
    if (parentCid == NoParentCid && hinted != 1) {
        opened.push_back({handle, path});
        return handle;
    }
    std::vector<std::uint8_t> hint(hintSize + 1, 0);
    if (hinted != 1 || hintSize == 0 || hintSize > MaxHintSize ||
        Vmdk->handle_get_utf8_parent_filename(handle, hint.data(), hintSize, nullptr) != 1) {
        problem = path + ": a VMDK delta link without a readable parentFileNameHint";
        return nullptr;
    }
    std::string name(reinterpret_cast<const char *>(hint.data()));
    ParentReference reference = {name[0] == '/' || name[1] == ':' ? "" : name,
                                 name[0] == '/' || name[1] == ':' ? name : ""};
    std::string found;
    std::uint32_t parentOwnCid = 0;
    libvmdk_handle_t *parent = nullptr;
    if (!FindParentFile(path, reference, found, problem) ||
        (parent = OpenLink(found, chain, &parentOwnCid, problem, opened)) == nullptr)
        return nullptr;
    if (parentOwnCid != parentCid) {
        problem = path + ": its parent " + found + " is another disk (VMDK CID " + Hex(parentOwnCid) +
                  ", the child expects parentCID " + Hex(parentCid) + ")";
        return nullptr;
    }
    if (Vmdk->handle_set_parent_handle(handle, parent, nullptr) != 1) {
        problem = path + ": libvmdk refuses its parent " + found;
        return nullptr;
    }
    opened.push_back({handle, path});
    return handle;
}

} // namespace

bool OpenVmdkImage(const TskFunctions *tsk, const std::string &path, TSK_IMG_INFO *&image, std::string &problem)
{
    if ((Vmdk = VmdkLibrary(problem)) == nullptr)
        return false;
    ChainFiles chain;
    std::uint32_t cid = 0;
    std::vector<VmdkOpenedLink> opened;
    libvmdk_handle_t *handle = OpenLink(path, chain, &cid, problem, opened);
    size64_t size = 0;
    if (handle == nullptr)
        return false;
    if (Vmdk->handle_get_media_size(handle, &size, nullptr) != 1) {
        problem = "damaged VMDK image";
        return false;
    }
    // libvmdk has opened and checked the links; hosted sparse extents are read here (see vmdk_chain.h).
    VmdkChain *disk = OpenVmdkChain(Vmdk, opened, problem);
    return disk != nullptr && OpenCallbackImage(tsk, disk, ReadVmdkChain, size, "VMDK", image, problem);
}
