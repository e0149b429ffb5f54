#include "platform/posix/image/raw_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/base/evidence_file.h"
#include "platform/posix/image/callback_image.h"

namespace {

struct RawSegment {
    int fd;
    std::uint64_t start, size;
    std::string name;
};

struct RawDisk {
    std::vector<RawSegment> segments;
};

void CloseRaw(void *disk)
{
    RawDisk *self = static_cast<RawDisk *>(disk);
    for (const RawSegment &segment : self->segments)
        close(segment.fd);
    delete self;
}

ssize_t ReadRaw(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    const std::vector<RawSegment> &segments = static_cast<const RawDisk *>(disk)->segments;
    std::size_t done = 0;
    for (const RawSegment &segment : segments) {
        std::uint64_t at = offset + done;
        if (done == size || at < segment.start)
            break;
        if (at >= segment.start + segment.size)
            continue;
        std::uint64_t left = segment.start + segment.size - at;
        std::size_t piece = left < size - done ? static_cast<std::size_t>(left) : size - done;
        ssize_t got;
        while ((got = pread(segment.fd, buffer + done, piece, static_cast<off_t>(at - segment.start))) < 0 &&
               errno == EINTR) {
        }
        if (got < 0)
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<std::size_t>(got);
        if (static_cast<std::size_t>(got) < piece)
            break; // shorter now than when it was measured
    }
    return static_cast<ssize_t>(done);
}

// libtsk's names for the segments after `path`; just `path` when it is not split.
std::vector<std::string> SegmentNames(const TskFunctions *tsk, const std::string &path)
{
    int count = 0;
    TSK_TCHAR **found = tsk->img_find_files(path.c_str(), &count);
    std::vector<std::string> names;
    for (int index = 0; found != nullptr && index < count; ++index) {
        names.push_back(found[index]);
        std::free(found[index]);
    }
    std::free(found);
    tsk->error_reset();
    if (names.empty() || names[0] != path)
        names.assign(1, path);
    return names;
}

} // namespace

bool OpenRawImage(const TskFunctions *tsk, int fd, const std::string &path, TSK_IMG_INFO *&image, Fault &fault)
{
    RawDisk *disk = new RawDisk;
    std::uint64_t size = 0;
    for (const std::string &name : SegmentNames(tsk, path)) {
        int opened = disk->segments.empty() ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : OpenEvidenceFile(name);
        struct stat info;
        if (opened < 0 || fstat(opened, &info) != 0) {
            fault = {"", "the segment " + name + " of the split image cannot be opened (" + std::strerror(errno) + ")"};
            if (opened >= 0)
                close(opened);
            CloseRaw(disk);
            return false;
        }
        disk->segments.push_back({opened, size, static_cast<std::uint64_t>(info.st_size), name});
        size += static_cast<std::uint64_t>(info.st_size);
    }
    return OpenCallbackImage(tsk, disk, ReadRaw, CloseRaw, size, "raw", image, fault);
}

bool IsRawImage(const TSK_IMG_INFO *image)
{
    return CallbackImageDisk(image, ReadRaw) != nullptr;
}

std::string SegmentAfterSplitImage(const TSK_IMG_INFO *image)
{
    const RawDisk *disk = static_cast<const RawDisk *>(CallbackImageDisk(image, ReadRaw));
    if (disk == nullptr || disk->segments.size() < 2)
        return "";
    // libtsk counts segments on by the digits or letters that end the name.
    std::string name = disk->segments.back().name;
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
