#include "platform/posix/image/ewf_segments.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"

namespace {

const unsigned char EwfSignature[8] = {'E', 'V', 'F', 0x09, 0x0D, 0x0A, 0xFF, 0x00};
const unsigned EwfFileHeaderSize = 13;
const unsigned EwfSectionSize = 76;  // type[16], u64 next section's offset, u64 size, ...
const unsigned EwfNextAt = 16;
const int MaxSections = 1 << 20;
const int MaxSegments = 14971;       // E01..E99, then EAA..ZZZ

// The type of the last section of the segment open as `fd`.
std::string LastSection(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        return "";
    std::uint64_t at = EwfFileHeaderSize, size = static_cast<std::uint64_t>(info.st_size);
    char type[17] = {};
    for (int count = 0; count < MaxSections && at + EwfSectionSize <= size; ++count) {
        unsigned char section[EwfSectionSize];
        if (!ReadExactlyAt(fd, section, sizeof section, at))
            return "";
        std::memcpy(type, section, 16);
        std::uint64_t next = ReadLe64(section + EwfNextAt);
        if (next == at || next == 0)
            return type;
        if (next < at + EwfSectionSize)
            return "";
        at = next;
    }
    return "";
}

// The segment after `number` (1 = E01): E02..E99, then EAA, EAB...
std::string SegmentName(const std::string &first, int number)
{
    std::string name = first;
    std::size_t at = name.size() - 3;
    char letter = name[at];
    if (number < 100) {
        name[at + 1] = static_cast<char>('0' + number / 10);
        name[at + 2] = static_cast<char>('0' + number % 10);
        return name;
    }
    int past = number - 100, lower = letter == 'e' ? 'a' - 'A' : 0;
    name[at] = static_cast<char>(letter + past / 676);
    name[at + 1] = static_cast<char>('A' + lower + past / 26 % 26);
    name[at + 2] = static_cast<char>('A' + lower + past % 26);
    return name;
}

} // namespace

bool IsEwfSegment(const unsigned char *header, std::size_t size)
{
    return size >= sizeof EwfSignature && std::memcmp(header, EwfSignature, sizeof EwfSignature) == 0;
}

std::string OpenEwfSegments(int fd, const std::string &path, std::vector<OwnedFd> &segments)
{
    segments.emplace_back(fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!segments.back().Valid() || path.size() < 4 ||
        (path.compare(path.size() - 4, 4, ".E01") != 0 && path.compare(path.size() - 4, 4, ".e01") != 0))
        return "";
    std::string last = LastSection(fd);
    for (int number = 2; number < MaxSegments && last == "next"; ++number) {
        std::string name = SegmentName(path, number);
        segments.emplace_back(OpenEvidenceFile(name));
        if (!segments.back().Valid())
            return name;
        last = LastSection(segments.back().fd);
    }
    return "";
}
