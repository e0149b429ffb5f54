#include "platform/posix/image/disk_container.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/base/trace_start.h"
#include "platform/posix/image/ewf_segments.h"
#include "platform/posix/image/qcow_image.h"
#include "platform/posix/image/vdi_image.h"
#include "platform/posix/image/vdi_header.h"
#include "platform/posix/image/vhdi_image.h"
#include "platform/posix/image/vmdk_image.h"

namespace {

// The first and last sectors tell every container this reads.
const std::size_t HeaderSize = 512;

} // namespace

bool OpenDiskImage(const TskFunctions *tsk, const std::string &path, TSK_IMG_INFO *&image,
                   std::vector<std::string> &notes, Fault &fault)
{
    OwnedFd fd(OpenEvidenceFile(path));
    unsigned char header[HeaderSize] = {}, footer[HeaderSize] = {};
    std::size_t got = 0;
    if (!fd.Valid() || !ReadUpToAt(fd.fd, header, sizeof header, 0, got)) {
        fault = {"", std::strerror(errno)};
        return false;
    }
    off_t end = lseek(fd.fd, 0, SEEK_END);
    bool footed = end >= static_cast<off_t>(HeaderSize) &&
                  ReadExactlyAt(fd.fd, footer, sizeof footer, static_cast<std::uint64_t>(end) - HeaderSize);
    std::string missing = got > 0 ? MissingEwfSegment(fd.fd, path, header) : "";
    fd.Reset();
    if (got == 0) {
        fault = {"", "empty file"};
        return false;
    }
    if (!missing.empty()) {
        fault = {"", "E01 image whose segment " + missing + " is missing (the ones before it end with a link to it)"};
        return false;
    }
    // Told by content, never by name.
    if (got >= 16 && std::memcmp(header, "QFI\xfb", 4) == 0)
        return OpenQcowImage(tsk, path, image, fault);
    if (got >= 8 && std::memcmp(header, "vhdxfile", 8) == 0)
        return OpenVhdiImage(tsk, path, true, image, notes, fault);
    if (got == sizeof header && ReadLe32(header + VdiSignatureAt) == VdiSignature)
        return OpenVdiImage(tsk, path, image, fault);
    if ((got >= 8 && std::memcmp(header, "conectix", 8) == 0) || (footed && std::memcmp(footer, "conectix", 8) == 0))
        return OpenVhdiImage(tsk, path, false, image, notes, fault);
    if ((got >= 4 && std::memcmp(header, "KDMV", 4) == 0) ||
        (got >= 21 && std::memcmp(header, "# Disk DescriptorFile", 21) == 0))
        return OpenVmdkImage(tsk, path, image, fault);
    const char *names[] = {path.c_str()};
    image = tsk->img_open_utf8(1, names, TSK_IMG_TYPE_DETECT, 0);
    if (image == nullptr) {
        fault = {"", "not a readable disk image (" + TakeTskError(tsk) + ")"};
        return false;
    }
    // libtsk opens a split image's later segments by name, when it reads there.
    for (int i = 1; TraceFileKnown() && image->images != nullptr && i < image->num_img; ++i)
        OwnedFd checked(OpenEvidenceFile(image->images[i]));
    return true;
}

std::string SegmentAfterSplitImage(const TSK_IMG_INFO *image)
{
    if (image == nullptr || image->itype != TSK_IMG_TYPE_RAW || image->num_img < 2 || image->images == nullptr)
        return "";
    // libtsk counts segments on by the digits or letters that end the name.
    std::string name = image->images[image->num_img - 1];
    std::size_t at = name.size();
    bool digits = at > 0 && name[at - 1] >= '0' && name[at - 1] <= '9';
    char first = digits ? '0' : 'a', last = digits ? '9' : 'z';
    while (at > 0 && name[at - 1] >= first && name[at - 1] <= last) {
        --at;
        if (name[at] != last) {
            ++name[at];
            return name;
        }
        name[at] = first;
    }
    return "";
}
