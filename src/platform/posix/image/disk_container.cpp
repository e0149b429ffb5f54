#include "platform/posix/image/disk_container.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/image/ewf_image.h"
#include "platform/posix/image/ewf_segments.h"
#include "platform/posix/image/parent_lookup.h"
#include "platform/posix/image/qcow_image.h"
#include "platform/posix/image/raw_image.h"
#include "platform/posix/image/vdi_header.h"
#include "platform/posix/image/vdi_image.h"
#include "platform/posix/image/vhdi_image.h"
#include "platform/posix/image/vmdk_image.h"

namespace {

// The first and last sectors tell every container this reads.
const std::size_t HeaderSize = 512;

struct Ends {
    unsigned char header[HeaderSize];
    std::size_t got;
    unsigned char footer[HeaderSize];
    bool footed;
};

struct Opening {
    const TskFunctions *tsk;
    int fd;
    const std::string &path;
    TSK_IMG_INFO *&image;
    std::vector<std::string> &notes;
    ChainFiles &chain;
    Fault &fault;
};

bool Begins(const Ends &ends, const char *magic, std::size_t size)
{
    return ends.got >= size && std::memcmp(ends.header, magic, size) == 0;
}

// Told by content, never by name; the first that tells a file opens it, and
// a file no container tells is a raw disk.
const struct Container {
    const char *name;
    bool (*tells)(const Ends &ends);
    bool (*open)(const Opening &at);
} Containers[] = {
    {"qcow2", [](const Ends &e) { return Begins(e, "QFI\xfb", 4) && e.got >= 16; },
     [](const Opening &at) { return OpenQcowImage(at.tsk, at.fd, at.path, at.image, at.chain, at.fault); }},
    {"VHDX", [](const Ends &e) { return Begins(e, "vhdxfile", 8); },
     [](const Opening &at) {
         return OpenVhdiImage(at.tsk, at.fd, at.path, true, at.image, at.notes, at.chain, at.fault);
     }},
    {"VDI", [](const Ends &e) { return e.got == HeaderSize && ReadLe32(e.header + VdiSignatureAt) == VdiSignature; },
     [](const Opening &at) { return OpenVdiImage(at.tsk, at.fd, at.path, at.image, at.chain, at.fault); }},
    {"VHD",
     [](const Ends &e) { return Begins(e, "conectix", 8) || (e.footed && std::memcmp(e.footer, "conectix", 8) == 0); },
     [](const Opening &at) {
         return OpenVhdiImage(at.tsk, at.fd, at.path, false, at.image, at.notes, at.chain, at.fault);
     }},
    {"VMDK", [](const Ends &e) { return Begins(e, "KDMV", 4) || Begins(e, "# Disk DescriptorFile", 21); },
     [](const Opening &at) { return OpenVmdkImage(at.tsk, at.fd, at.path, at.image, at.chain, at.fault); }},
    {"E01", [](const Ends &e) { return IsEwfSegment(e.header, e.got); },
     [](const Opening &at) { return OpenEwfImage(at.tsk, at.fd, at.path, at.image, at.fault); }},
    {"raw", [](const Ends &) { return true; },
     [](const Opening &at) { return OpenRawImage(at.tsk, at.fd, at.path, at.image, at.fault); }},
};

} // namespace

bool OpenDiskImage(const TskFunctions *tsk, const std::string &path, TSK_IMG_INFO *&image,
                   std::vector<std::string> &notes, Fault &fault, int held, DiskChain *chain)
{
    OwnedFd fd(held >= 0 ? fcntl(held, F_DUPFD_CLOEXEC, 0) : OpenEvidenceFile(path));
    Ends ends = {};
    if (!fd.Valid() || !ReadUpToAt(fd.fd, ends.header, sizeof ends.header, 0, ends.got)) {
        fault = {"", std::strerror(errno)};
        return false;
    }
    off_t end = lseek(fd.fd, 0, SEEK_END);
    ends.footed = end >= static_cast<off_t>(HeaderSize) &&
                  ReadExactlyAt(fd.fd, ends.footer, sizeof ends.footer, static_cast<std::uint64_t>(end) - HeaderSize);
    if (ends.got == 0) {
        fault = {"", "empty file"};
        return false;
    }
    ChainFiles files;
    const Opening at = {tsk, fd.fd, path, image, notes, files, fault};
    for (const Container &container : Containers) {
        if (!container.tells(ends))
            continue;
        bool opened = container.open(at);
        if (chain != nullptr) {
            chain->container = container.name;
            chain->files = files.files.empty() ? std::vector<std::string>{path} : files.files;
            chain->whole = opened;
        }
        return opened;
    }
    return false;
}
