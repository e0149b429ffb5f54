#include "platform/posix/image/qcow_image.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/image/qcow_header.h"
#include "platform/posix/image/qcow_chain.h"

namespace {

// libqcow reads what a cut-off file still holds and nothing tells of the
// rest: a table entry pointing past the end of the file says it was cut.
bool QcowCutShort(int fd, const unsigned char *header, std::uint64_t fileSize)
{
    std::uint64_t clusterBits = ReadBe32(header + QcowClusterBitsAt);
    std::uint64_t l1Size = ReadBe32(header + QcowL1SizeAt), l1Offset = ReadBe64(header + QcowL1OffsetAt);
    std::uint64_t refcountOffset = ReadBe64(header + QcowRefcountOffsetAt);
    std::uint64_t refcountClusters = ReadBe32(header + QcowRefcountClustersAt);
    if (clusterBits < QcowMinClusterBits || clusterBits > QcowMaxClusterBits || l1Size > fileSize / 8 || l1Offset > fileSize - l1Size * 8 ||
        refcountClusters > fileSize >> clusterBits || refcountOffset > fileSize - (refcountClusters << clusterBits))
        return true;
    const std::uint64_t clusterSize = 1ULL << clusterBits;
    const std::uint64_t offsetMask = 0x00fffffffffffe00ULL;
    std::vector<unsigned char> l1(l1Size * 8), l2(clusterSize);
    if (l1Size != 0 && !ReadExactlyAt(fd, l1.data(), l1.size(), l1Offset))
        return true;
    for (std::uint64_t i = 0; i < l1Size; ++i) {
        std::uint64_t table = ReadBe64(&l1[i * 8]) & offsetMask;
        if (table == 0)
            continue;
        if (table > fileSize - clusterSize || !ReadExactlyAt(fd, l2.data(), l2.size(), table))
            return true;
        for (std::uint64_t j = 0; j < clusterSize; j += 8) {
            std::uint64_t entry = ReadBe64(&l2[j]);
            bool compressed = (entry >> 62 & 1) != 0;
            std::uint64_t data = compressed ? entry & ((1ULL << (62 - (clusterBits - 8))) - 1) : entry & offsetMask;
            if (data != 0 && data >= fileSize)
                return true;
            if (!compressed && data != 0 && data > fileSize - clusterSize)
                return true;
        }
    }
    return false;
}

// The backing file's name and format ("" when the header names none).
bool ReadBacking(int fd, const unsigned char *header, std::uint64_t fileSize, std::string &name, std::string &format)
{
    std::uint64_t at = ReadBe64(header + QcowBackingNameOffsetAt);
    std::uint32_t size = ReadBe32(header + QcowBackingNameSizeAt);
    if (at == 0)
        return true;
    if (size == 0 || size > QcowMaxBackingNameSize || at > fileSize || size > fileSize - at)
        return false;
    char text[QcowMaxBackingNameSize + 1] = {};
    if (!ReadExactlyAt(fd, text, size, at) || std::memchr(text, 0, size))
        return false;
    name.assign(text, size);
    std::uint64_t next = ReadBe32(header + QcowVersionAt) >= 3 ? ReadBe32(header + QcowHeaderLengthAt)
                                                               : QcowVersion2HeaderSize;
    for (int count = 0; count < 64 && next + QcowExtensionHeaderSize <= fileSize; ++count) {
        unsigned char extension[QcowExtensionHeaderSize];
        if (!ReadExactlyAt(fd, extension, sizeof extension, next))
            return false;
        std::uint32_t type = ReadBe32(extension), length = ReadBe32(extension + 4);
        if (type == QcowExtensionEnd)
            break;
        if (type == QcowExtensionBackingFormat && length > 0 && length < 64) {
            char formatName[64] = {};
            if (!ReadExactlyAt(fd, formatName, length, next + sizeof extension))
                return false;
            format.assign(formatName, strnlen(formatName, length));
        }
        next += sizeof extension + (length + 7ULL) / 8 * 8;
    }
    return true;
}

// The chain's links' descriptors, newest last as they are opened, and a raw
// base where there is one.
struct QcowLinks {
    std::vector<int> fds;
    int raw = -1;
    // libqcow's, child first: needed only while the chain is checked.
    std::vector<libqcow_file_t *> files;
    std::vector<libbfio_handle_t *> handles;
};

// Frees libqcow's side, and the descriptors when no chain took them.
void ReleaseLinks(const QcowFunctions *qcow, QcowLinks &links, bool taken)
{
    for (libqcow_file_t *file : links.files) {
        qcow->file_close(file, nullptr);
        qcow->file_free(&file, nullptr);
    }
    for (libbfio_handle_t *handle : links.handles)
        qcow->bfio_handle_free(&handle, nullptr);
    for (int fd : links.fds)
        if (!taken)
            close(fd);
    if (!taken && links.raw >= 0)
        close(links.raw);
}

// Opens `path` and, first, its backing chain; null with `fault` set.
libqcow_file_t *OpenLink(const QcowFunctions *qcow, const std::string &path, ChainFiles &chain,
                         QcowLinks &links, Fault &fault, int held = -1)
{
    OwnedFd fd(OpenChainFile(path, fault, held));
    if (!fd.Valid())
        return nullptr;
    unsigned char header[QcowHeaderLengthAt + 4] = {};
    std::size_t got = 0;
    struct stat info;
    std::string name, format;
    // The root's own faults are told as before; a parent's name the file.
    const std::string named = chain.seen.empty() ? "" : path;
    bool fine = false;
    libqcow_file_t *file = nullptr;
    libbfio_handle_t *bytes = nullptr;
    if (fstat(fd.fd, &info) != 0 || !ReadUpToAt(fd.fd, header, sizeof header, 0, got) || got < QcowVersion2HeaderSize ||
        std::memcmp(header, QcowMagic, sizeof QcowMagic) != 0)
        fault = {named, "not a qcow2 image"};
    else if (!AddChainLink(chain, fd.fd, path, fault))
        ;
    else if (ReadBe32(header + QcowCryptMethodAt) != 0)
        fault = {named, "encrypted qcow2 image, which is not read"};
    else if (ReadBe32(header + QcowVersionAt) >= 3 &&
             (ReadBe64(header + QcowIncompatibleFeaturesAt) & ~QcowKnownIncompatibleFeatures) != 0)
        fault = {named, "qcow2 image with a feature this program does not read (an external data file, "
                        "subclusters or zstd compression)"};
    else if (QcowCutShort(fd.fd, header, static_cast<std::uint64_t>(info.st_size)))
        fault = {named, "qcow2 image cut short or damaged (its tables point past the end of the file)"};
    else if (!ReadBacking(fd.fd, header, static_cast<std::uint64_t>(info.st_size), name, format))
        fault = {named, "qcow2 image whose backing file name is damaged"};
    else if (!format.empty() && format != "qcow2" && format != "raw")
        fault = {named, "its backing file " + name + " is a " + format + " image, which is not read under qcow2"};
    else if ((bytes = DescriptorHandle(BfioOf(qcow), fd.fd)) == nullptr ||
             (links.handles.push_back(bytes), qcow->file_initialize(&file, nullptr)) != 1 ||
             (links.files.push_back(file), qcow->file_open_file_io_handle(file, bytes, LIBQCOW_OPEN_READ, nullptr)) != 1)
        fault = {named, "damaged qcow2 image"}; // before its backing file: the first fault is named
    else
        fine = true;
    if (!fine)
        return nullptr;
    libqcow_file_t *parent = nullptr;
    if (!name.empty()) {
        std::string found;
        OwnedFd parentFile;
        ParentReference reference = {name[0] == '/' ? "" : name, name[0] == '/' ? name : "", ""};
        bool located = FindParentFile(path, reference, found, fault, parentFile);
        if (!located)
            fault.file = named;
        if (located && format == "raw")
            located = (links.raw = OpenChainFile(found, fault, parentFile.fd)) >= 0 &&
                      AddChainLink(chain, links.raw, found, fault);
        else if (located)
            located = (parent = OpenLink(qcow, found, chain, links, fault, parentFile.fd)) != nullptr;
        if (!located)
            return nullptr;
    }
    if (parent != nullptr && links.raw < 0 && qcow->file_set_parent_file(file, parent, nullptr) != 1) {
        fault = {named, "damaged qcow2 image"};
        return nullptr;
    }
    links.fds.push_back(fd.Release());
    return file;
}

} // namespace

bool OpenQcowImage(const TskFunctions *tsk, int root, const std::string &path, TSK_IMG_INFO *&image, ChainFiles &chain,
                   Fault &fault)
{
    const QcowFunctions *qcow = QcowLibrary(fault);
    if (qcow == nullptr)
        return false;
    QcowLinks links;
    libqcow_file_t *file = OpenLink(qcow, path, chain, links, fault, root);
    size64_t size = 0;
    bool checked = file != nullptr && qcow->file_get_media_size(file, &size, nullptr) == 1;
    if (file != nullptr && !checked)
        fault = {"", "damaged qcow2 image"};
    ReleaseLinks(qcow, links, checked);
    if (!checked)
        return false;
    // libqcow has checked the links; the chain is read here (see qcow_chain.h).
    std::reverse(links.fds.begin(), links.fds.end());
    QcowChain *disk = OpenQcowChain(links.fds, links.raw, fault);
    return disk != nullptr && OpenCallbackImage(tsk, disk, ReadQcowChain, CloseQcowChain, size, "qcow2", image, fault);
}
