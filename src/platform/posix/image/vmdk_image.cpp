#include "platform/posix/image/vmdk_image.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"

#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/image/vmdk_chain.h"

namespace {

// What a descriptor says for "no parent".
const std::uint32_t NoParentCid = 0xFFFFFFFF;
const std::size_t MaxHintSize = 4096;
// A sparse extent's header begins so.
const char VmdkSparseMagic[] = "KDMV";
const std::size_t MaxDescriptorSize = 64 * 1024;

const VmdkFunctions *Vmdk = nullptr;
const TskFunctions *Tsk = nullptr;
const int MaxExtents = 4096;

const int *ExtentDescriptors(const std::vector<OwnedFd> &files, std::vector<int> &fds)
{
    for (const OwnedFd &file : files)
        fds.push_back(file.fd);
    return fds.data();
}

std::string Hex(std::uint32_t value)
{
    char text[12];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// The file name extent `index` is described with; "" for none (zeros) or
// one that cannot be read.
std::string ExtentName(libvmdk_handle_t *handle, int index)
{
    libvmdk_extent_descriptor_t *descriptor = nullptr;
    std::size_t size = 0;
    std::vector<std::uint8_t> name;
    if (Vmdk->handle_get_extent_descriptor(handle, index, &descriptor, nullptr) == 1 &&
        Vmdk->extent_descriptor_get_utf8_filename_size(descriptor, &size, nullptr) == 1 && size > 0 &&
        size <= MaxDescriptorSize) {
        name.assign(size + 1, 0);
        if (Vmdk->extent_descriptor_get_utf8_filename(descriptor, name.data(), size, nullptr) != 1)
            name.clear();
    }
    if (descriptor != nullptr)
        Vmdk->extent_descriptor_free(&descriptor, nullptr);
    std::string text(name.begin(), name.end());
    return text.substr(0, text.find('\0'));
}

// An extent named with a folder is refused before libvmdk opens it: this
// libvmdk keeps the folder's length for the name after it, and so reads a
// wrong name, or past the end of the name's buffer.
bool ExtentNamesTakeNoFolder(libvmdk_handle_t *handle, Fault &fault)
{
    int count = 0;
    if (Vmdk->handle_get_number_of_extents(handle, &count, nullptr) != 1)
        count = 0;
    for (int index = 0; index < count; ++index) {
        std::string text = ExtentName(handle, index);
        if (text.find('/') != std::string::npos) {
            fault = {"", "its extent '" + text + "' is named with a folder; an extent is read by its name alone, "
                         "from the descriptor's folder"};
            return false;
        }
    }
    return true;
}

// The files of the extents of the link open as `fd`, in the descriptor's
// order: a monolithic sparse file is its own single extent, whatever name
// its embedded descriptor gives (a copy is often renamed); any other extent
// is its name alone, in the descriptor's folder. False on the first missing.
bool OpenExtentFiles(libvmdk_handle_t *handle, int fd, const std::string &path, std::vector<OwnedFd> &files,
                     std::vector<std::string> &names, Fault &fault)
{
    int count = 0;
    unsigned char magic[4] = {};
    if (Vmdk->handle_get_number_of_extents(handle, &count, nullptr) != 1 || count <= 0 || count > MaxExtents) {
        fault = {"", "damaged VMDK image (its descriptor lists no extent, or too many)"};
        return false;
    }
    if (count == 1 && ReadExactlyAt(fd, magic, sizeof magic, 0) && std::memcmp(magic, VmdkSparseMagic, 4) == 0) {
        files.emplace_back(fcntl(fd, F_DUPFD_CLOEXEC, 0));
        names.push_back(path);
        return files.back().Valid();
    }
    for (int index = 0; index < count; ++index) {
        std::string text = ExtentName(handle, index);
        // An extent of zeros has no file: the descriptor stands in, never read for it.
        std::string lookFor = text.empty() ? path : InFolder(FolderOf(path), LastComponent(text));
        files.emplace_back(text.empty() ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : OpenEvidenceFile(lookFor));
        names.push_back(lookFor);
        if (!files.back().Valid()) {
            fault = {"", "its extent file '" + text + "' is missing (looked for " + lookFor + ")"};
            return false;
        }
    }
    return true;
}

// The child a parent is checked against.
struct Expected {
    std::string child;
    std::uint32_t parentCid;
};

// Opens `path` and its extents, checks it is the disk `expected` names
// (before anything of its own parent is looked at), then opens its parent,
// which is handed to it. Each link goes into `opened` as it is made, child
// first, so that whatever fails, the caller closes all that was opened.
libvmdk_handle_t *OpenLink(const std::string &root, const std::string &path, const Expected *expected,
                           ChainFiles &chain, Fault &fault, std::vector<VmdkOpenedLink> &opened, int held = -1)
{
    const std::string named = LinkFile(root, path);
    OwnedFd fd(OpenChainFile(path, fault, held));
    if (!fd.Valid())
        return nullptr;
    opened.emplace_back();
    VmdkOpenedLink &link = opened.back();
    link.path = path;
    std::uint32_t cid = 0, parentCid = NoParentCid;
    bool fine = false;
    std::vector<int> extentFds;
    link.bytes = DescriptorHandle(BfioOf(Tsk), fd.fd);
    if (link.bytes == nullptr || Vmdk->handle_initialize(&link.handle, nullptr) != 1 ||
        Vmdk->handle_open_file_io_handle(link.handle, link.bytes, LIBVMDK_OPEN_READ, nullptr) != 1 ||
        Vmdk->handle_get_content_identifier(link.handle, &cid, nullptr) != 1 ||
        Vmdk->handle_get_parent_content_identifier(link.handle, &parentCid, nullptr) != 1)
        fault = {named, "damaged VMDK image (libvmdk does not open it)"};
    else if (expected != nullptr && cid != expected->parentCid)
        fault = {LinkFile(root, expected->child),
                 "its parent " + path + " is another disk (VMDK CID " + Hex(cid) + ", the child expects parentCID " +
                     Hex(expected->parentCid) + ")"};
    else if (!ExtentNamesTakeNoFolder(link.handle, fault) ||
             !OpenExtentFiles(link.handle, fd.fd, path, link.extents, link.extentNames, fault))
        fault.file = named;
    else if ((link.pool = DescriptorPool(BfioOf(Tsk), ExtentDescriptors(link.extents, extentFds),
                                         static_cast<int>(link.extents.size()))) == nullptr ||
             Vmdk->handle_open_extent_data_files_file_io_pool(link.handle, link.pool, nullptr) != 1)
        fault = {named, "damaged VMDK image (libvmdk does not open its extent files)"};
    else
        fine = AddChainLink(chain, fd.fd, path, fault);
    fd.Reset();
    libvmdk_handle_t *handle = link.handle; // `link` moves as parents are added
    if (!fine)
        return nullptr;
    std::size_t hintSize = 0;
    int hinted = Vmdk->handle_get_utf8_parent_filename_size(handle, &hintSize, nullptr);
    if (parentCid == NoParentCid && hinted != 1)
        return handle;
    std::vector<std::uint8_t> hint(hintSize + 1, 0);
    if (hinted != 1 || hintSize == 0 || hintSize > MaxHintSize ||
        Vmdk->handle_get_utf8_parent_filename(handle, hint.data(), hintSize, nullptr) != 1) {
        fault = {named, "a VMDK delta link without a readable parentFileNameHint"};
        return nullptr;
    }
    ParentReference reference;
    reference.relative = reinterpret_cast<const char *>(hint.data());
    std::string found;
    libvmdk_handle_t *parent = nullptr;
    const Expected mine = {path, parentCid};
    OwnedFd parentFile;
    if (!FindParentFile(path, reference, found, fault, parentFile)) {
        fault.file = named;
        return nullptr;
    }
    if ((parent = OpenLink(root, found, &mine, chain, fault, opened, parentFile.fd)) == nullptr)
        return nullptr;
    if (Vmdk->handle_set_parent_handle(handle, parent, nullptr) != 1) {
        fault = {named, "libvmdk refuses its parent " + found};
        return nullptr;
    }
    return handle;
}

} // namespace

bool OpenVmdkImage(const TskFunctions *tsk, int root, const std::string &path, TSK_IMG_INFO *&image, ChainFiles &chain,
                   Fault &fault)
{
    Tsk = tsk;
    if ((Vmdk = VmdkLibrary(fault)) == nullptr)
        return false;
    std::vector<VmdkOpenedLink> opened;
    libvmdk_handle_t *handle = OpenLink(path, path, nullptr, chain, fault, opened, root);
    size64_t size = 0;
    if (handle != nullptr && Vmdk->handle_get_media_size(handle, &size, nullptr) != 1) {
        fault = {"", "damaged VMDK image"};
        handle = nullptr;
    }
    if (handle == nullptr) {
        CloseVmdkLinks(Vmdk, BfioOf(tsk), opened);
        return false;
    }
    // libvmdk has opened and checked the links; hosted sparse extents are read here (see vmdk_chain.h).
    VmdkChain *disk = OpenVmdkChain(Vmdk, BfioOf(tsk), opened, fault);
    return disk != nullptr && OpenCallbackImage(tsk, disk, ReadVmdkChain, CloseVmdkChain, size, "VMDK", image, fault);
}
