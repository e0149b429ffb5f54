// A VHD's footer, dynamic header and parent locators, all checked against
// the file's size before use.
#include <sys/stat.h>

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/text_encoding.h"
#include "platform/posix/image/vhd_links.h"

namespace {

// The blocks whose bitmap has a byte that is neither all set nor all clear.
bool ReadPartialBitmaps(int fd, std::uint64_t fileSize, VhdLink &link)
{
    std::vector<unsigned char> bitmap(link.bitmapBytes);
    for (std::uint32_t block = 0; block < link.table.size(); ++block) {
        std::uint32_t sector = link.table[block];
        if (sector == VhdUnusedBlock)
            continue;
        std::uint64_t at = static_cast<std::uint64_t>(sector) * 512;
        if (at > fileSize || link.bitmapBytes + link.blockSize > fileSize - at || !ReadExactlyAt(fd, bitmap.data(), bitmap.size(), at))
            return false;
        for (std::uint64_t i = 0; i < link.blockSize / 512 / 8; ++i)
            if (bitmap[i] != 0 && bitmap[i] != 0xFF) {
                link.partialBitmaps[block] = bitmap;
                break;
            }
    }
    return true;
}

bool ChecksumHolds(const unsigned char *bytes, std::size_t size, unsigned checksumAt)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        if (i < checksumAt || i >= checksumAt + 4)
            sum += bytes[i];
    return ReadBe32(bytes + checksumAt) == ~sum;
}

// Hypervisors differ on a checksum that fails; the fields are read on, and a line says so.
std::string ChecksumNote(bool footerHolds, bool headerHolds)
{
    if (!footerHolds && !headerHolds)
        return "VHD footer and dynamic disk header fail their checksums; read as they are";
    if (!footerHolds)
        return "VHD footer fails its checksum; read as it is";
    return headerHolds ? "" : "VHD dynamic disk header fails its checksum; read as it is";
}

} // namespace

bool ReadVhdLink(int fd, const std::string &path, VhdLink &link, Fault &fault)
{
    struct stat info;
    unsigned char footer[VhdFooterSize], first[VhdFooterSize + 8];
    if (fstat(fd, &info) != 0 || info.st_size < static_cast<off_t>(VhdFooterSize) || !ReadExactlyAt(fd, first, sizeof first, 0)) {
        fault = {"", "not a VHD image (cut short)"};
        return false;
    }
    const std::uint64_t fileSize = static_cast<std::uint64_t>(info.st_size);
    if (!ReadExactlyAt(fd, footer, sizeof footer, fileSize - VhdFooterSize) || std::memcmp(footer, VhdFooterCookie, 8) != 0) {
        bool dynamic = std::memcmp(first, VhdFooterCookie, 8) == 0 && std::memcmp(first + 512, VhdDynamicCookie, 8) == 0;
        fault = {"", dynamic ? "dynamic VHD without its footer at the end of the file (cut short or damaged)"
                             : "not a VHD image (no footer)"};
        return false;
    }
    link.path = path;
    link.fd = fd;
    link.identity.assign(reinterpret_cast<const char *>(footer + VhdUniqueIdAt), VhdIdSize);
    std::uint32_t type = ReadBe32(footer + VhdDiskTypeAt);
    link.differencing = type == VhdTypeDifferencing;
    const bool footerHolds = ChecksumHolds(footer, sizeof footer, VhdFooterChecksumAt);
    link.checksumNote = ChecksumNote(footerHolds, true);
    if (type == VhdTypeFixed)
        return true;
    unsigned char header[VhdDynamicHeaderSize];
    std::uint64_t headerAt = ReadBe64(footer + VhdDataOffsetAt);
    if (headerAt > fileSize || VhdDynamicHeaderSize > fileSize - headerAt || !ReadExactlyAt(fd, header, sizeof header, headerAt) ||
        std::memcmp(header, VhdDynamicCookie, 8) != 0) {
        fault = {"", "damaged VHD image (its dynamic disk header is missing)"};
        return false;
    }
    link.checksumNote = ChecksumNote(footerHolds, ChecksumHolds(header, sizeof header, VhdHeaderChecksumAt));
    if (!link.differencing)
        return true;
    link.parentIdentity.assign(reinterpret_cast<const char *>(header + VhdParentIdAt), VhdIdSize);
    unsigned char name[VhdParentNameSize];
    for (unsigned i = 0; i < VhdParentNameSize; i += 2) {
        name[i] = header[VhdParentNameAt + i + 1];
        name[i + 1] = header[VhdParentNameAt + i];
    }
    link.parent.name = Utf16LeNameAsUtf8(name, sizeof name);
    for (unsigned i = 0; i < VhdLocatorCount; ++i) {
        const unsigned char *entry = header + VhdLocatorsAt + i * VhdLocatorSize;
        std::uint32_t code = ReadBe32(entry + VhdLocatorCodeAt), length = ReadBe32(entry + VhdLocatorLengthAt);
        std::uint64_t at = ReadBe64(entry + VhdLocatorOffsetAt);
        if ((code != VhdPlatformRelative && code != VhdPlatformAbsolute) || length == 0 ||
            length > VhdMaxLocatorLength || at > fileSize || length > fileSize - at)
            continue;
        unsigned char data[VhdMaxLocatorLength];
        if (!ReadExactlyAt(fd, data, length, at))
            continue;
        (code == VhdPlatformRelative ? link.parent.relative : link.parent.absolute) = Utf16LeNameAsUtf8(data, length);
    }
    link.blockSize = ReadBe32(header + VhdBlockSizeAt);
    std::uint64_t entries = ReadBe32(header + VhdMaxTableEntriesAt), tableAt = ReadBe64(header + VhdTableOffsetAt);
    link.bitmapBytes = (link.blockSize / 512 / 8 + 511) / 512 * 512;
    if (link.blockSize < 4096 || link.blockSize > VhdMaxBlockSize || link.blockSize % 4096 != 0 ||
        entries > fileSize / 4 || tableAt > fileSize - entries * 4) {
        fault = {"", "damaged VHD image (its block table does not fit in the file)"};
        return false;
    }
    std::vector<unsigned char> table(entries * 4);
    if (entries != 0 && !ReadExactlyAt(fd, table.data(), table.size(), tableAt)) {
        fault = {"", "damaged VHD image (its block table cannot be read)"};
        return false;
    }
    for (std::uint64_t i = 0; i < entries; ++i)
        link.table.push_back(ReadBe32(&table[i * 4]));
    if (!ReadPartialBitmaps(fd, fileSize, link)) {
        fault = {"", "VHD image cut short or damaged (a block lies past the end of the file)"};
        return false;
    }
    return true;
}
