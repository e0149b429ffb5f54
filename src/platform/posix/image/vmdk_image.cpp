#include "platform/posix/image/vmdk_image.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"

#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/image/vmdk_chain.h"

namespace {

// What a descriptor says for "no parent".
const std::uint32_t NoParentCid = 0xFFFFFFFF;
const std::size_t MaxHintSize = 4096;
// A sparse extent's header (little-endian) and where it keeps the descriptor.
const char VmdkSparseMagic[] = "KDMV";
const unsigned VmdkDescriptorOffsetAt = 28; // u64, in sectors; 0: none
const unsigned VmdkDescriptorSizeAt = 36;   // u64, in sectors
const std::uint64_t VmdkSector = 512;
const std::size_t MaxDescriptorSize = 64 * 1024;

const VmdkFunctions *Vmdk = nullptr;

std::string Hex(std::uint32_t value)
{
    char text[12];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// The descriptor of the VMDK open as `fd`: embedded in a sparse extent, or the file itself.
std::string ReadDescriptor(int fd)
{
    // A descriptor file may be shorter than a sector; a sparse file never is.
    unsigned char header[VmdkSector] = {};
    std::size_t got = 0;
    if (!ReadUpToAt(fd, header, sizeof header, 0, got))
        return "";
    std::uint64_t at = 0, size = MaxDescriptorSize;
    if (got == sizeof header && std::memcmp(header, VmdkSparseMagic, 4) == 0) {
        at = ReadLe64(header + VmdkDescriptorOffsetAt);
        size = ReadLe64(header + VmdkDescriptorSizeAt);
        if (at == 0 || at > UINT64_MAX / VmdkSector || size > MaxDescriptorSize / VmdkSector)
            return "";
        at *= VmdkSector;
        size *= VmdkSector;
    }
    std::string text(size, '\0');
    got = 0;
    text.resize(ReadUpToAt(fd, &text[0], text.size(), at, got) ? got : 0);
    return text.substr(0, text.find('\0'));
}

// The first extent file the descriptor names that is not where libvmdk
// looks for it (its last component, in the descriptor's folder); false then.
bool ExtentsPresent(int fd, const std::string &path, Fault &fault)
{
    std::string text = ReadDescriptor(fd);
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        at = end + 1;
        std::size_t open = line.find('"'), close = line.find('"', open + 1);
        std::size_t first = line.find_first_not_of(" \t");
        bool extent = first != std::string::npos && (line.compare(first, 3, "RW ") == 0 ||
                                                      line.compare(first, 7, "RDONLY ") == 0 ||
                                                      line.compare(first, 9, "NOACCESS ") == 0);
        if (!extent || open == std::string::npos || close == std::string::npos || close == open + 1)
            continue;
        std::string name = line.substr(open + 1, close - open - 1);
        std::string lookFor = InFolder(FolderOf(path), LastComponent(name));
        struct stat info;
        if (stat(lookFor.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
            fault = {"", "its extent file '" + name + "' is missing (looked for " + lookFor + ")"};
            return false;
        }
    }
    return true;
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
        text = text.substr(0, text.find('\0'));
        if (text.find('/') != std::string::npos) {
            fault = {"", "its extent '" + text + "' is named with a folder; an extent is read by its name alone, "
                         "from the descriptor's folder"};
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
// which is handed to it.
libvmdk_handle_t *OpenLink(const std::string &root, const std::string &path, const Expected *expected,
                           ChainFiles &chain, Fault &fault, std::vector<VmdkOpenedLink> &opened)
{
    const std::string named = LinkFile(root, path);
    OwnedFd fd(OpenChainFile(path, fault));
    if (!fd.Valid())
        return nullptr;
    libvmdk_handle_t *handle = nullptr;
    std::uint32_t cid = 0, parentCid = NoParentCid;
    bool fine = false;
    if (Vmdk->handle_initialize(&handle, nullptr) != 1 ||
        Vmdk->handle_open(handle, path.c_str(), LIBVMDK_OPEN_READ, nullptr) != 1 ||
        Vmdk->handle_get_content_identifier(handle, &cid, nullptr) != 1 ||
        Vmdk->handle_get_parent_content_identifier(handle, &parentCid, nullptr) != 1)
        fault = {named, "damaged VMDK image (libvmdk does not open it)"};
    else if (expected != nullptr && cid != expected->parentCid)
        fault = {LinkFile(root, expected->child),
                 "its parent " + path + " is another disk (VMDK CID " + Hex(cid) + ", the child expects parentCID " +
                     Hex(expected->parentCid) + ")"};
    else if (!ExtentNamesTakeNoFolder(handle, fault) || !ExtentsPresent(fd.fd, path, fault))
        fault.file = named;
    else if (Vmdk->handle_open_extent_data_files(handle, nullptr) != 1)
        fault = {named, "damaged VMDK image (libvmdk does not open its extent files)"};
    else
        fine = AddChainLink(chain, fd.fd, path, fault);
    fd.Reset();
    if (!fine)
        return nullptr;
    std::size_t hintSize = 0;
    int hinted = Vmdk->handle_get_utf8_parent_filename_size(handle, &hintSize, nullptr);
    if (parentCid == NoParentCid && hinted != 1) {
        opened.push_back({handle, path});
        return handle;
    }
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
    if (!FindParentFile(path, reference, found, fault)) {
        fault.file = named;
        return nullptr;
    }
    if ((parent = OpenLink(root, found, &mine, chain, fault, opened)) == nullptr)
        return nullptr;
    if (Vmdk->handle_set_parent_handle(handle, parent, nullptr) != 1) {
        fault = {named, "libvmdk refuses its parent " + found};
        return nullptr;
    }
    opened.push_back({handle, path});
    return handle;
}

} // namespace

bool OpenVmdkImage(const TskFunctions *tsk, const std::string &path, TSK_IMG_INFO *&image, Fault &fault)
{
    if ((Vmdk = VmdkLibrary(fault)) == nullptr)
        return false;
    ChainFiles chain;
    std::vector<VmdkOpenedLink> opened;
    libvmdk_handle_t *handle = OpenLink(path, path, nullptr, chain, fault, opened);
    size64_t size = 0;
    if (handle == nullptr)
        return false;
    if (Vmdk->handle_get_media_size(handle, &size, nullptr) != 1) {
        fault = {"", "damaged VMDK image"};
        return false;
    }
    // libvmdk has opened and checked the links; hosted sparse extents are read here (see vmdk_chain.h).
    VmdkChain *disk = OpenVmdkChain(Vmdk, opened, fault);
    return disk != nullptr && OpenCallbackImage(tsk, disk, ReadVmdkChain, size, "VMDK", image, fault);
}
