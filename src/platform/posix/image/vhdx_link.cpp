// A VHDX's identity and parent locator. The headers' and tables' checksums
// are left to libvhdi, which opens every file of the chain after this.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/guid_text.h"
#include "platform/posix/base/text_encoding.h"
#include "platform/posix/image/vhd_links.h"
#include "platform/posix/image/vhdx_layout.h"

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The metadata item `item`: its bytes, up to VhdxMaxLocatorSize.
// The file offset and length of the region `region`; false where there is none.
bool FindRegion(int fd, const unsigned char *region, std::uint64_t &at, std::uint64_t &length)
{
    unsigned char table[VhdxRegionTableSize];
    if (!ReadExactlyAt(fd, table, sizeof table, VhdxRegionTableAt) || std::memcmp(table, VhdxRegionSignature, 4) != 0)
        return false;
    std::uint32_t regions = std::min<std::uint32_t>(ReadLe32(table + VhdxRegionCountAt), VhdxMaxRegions);
    for (std::uint32_t i = 0; i < regions; ++i) {
        const unsigned char *entry = table + VhdxRegionEntriesAt + i * VhdxRegionEntrySize;
        if (std::memcmp(entry, region, 16) == 0) {
            at = ReadLe64(entry + 16);
            length = ReadLe32(entry + 24);
            return true;
        }
    }
    return false;
}

bool ReadMetadataItem(int fd, std::uint64_t fileSize, const unsigned char *item, std::vector<unsigned char> &value)
{
    std::uint64_t metadataAt = 0, regionLength = 0;
    if (!FindRegion(fd, VhdxMetadataRegion, metadataAt, regionLength))
        return false;
    unsigned char metadata[VhdxMetadataEntriesAt + VhdxMaxMetadataEntries * VhdxMetadataEntrySize];
    if (metadataAt == 0 || metadataAt > fileSize || sizeof metadata > fileSize - metadataAt ||
        !ReadExactlyAt(fd, metadata, sizeof metadata, metadataAt) || std::memcmp(metadata, VhdxMetadataSignature, 8) != 0)
        return false;
    std::uint32_t entries = std::min<std::uint32_t>(ReadLe16(metadata + VhdxMetadataCountAt), VhdxMaxMetadataEntries);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const unsigned char *entry = metadata + VhdxMetadataEntriesAt + i * VhdxMetadataEntrySize;
        std::uint64_t at = metadataAt + ReadLe32(entry + 16), length = ReadLe32(entry + 20);
        if (std::memcmp(entry, item, 16) != 0)
            continue;
        if (length == 0 || length > VhdxMaxLocatorSize || at > fileSize || length > fileSize - at)
            return false;
        value.resize(length);
        return ReadExactlyAt(fd, value.data(), value.size(), at);
    }
    return false;
}

// A differencing disk's block table, read here because libvhdi does not
// always go to the parent for the blocks this child lacks.
bool ReadVhdxTable(int fd, std::uint64_t fileSize, const std::vector<unsigned char> &parameters, VhdLink &link,
                   Fault &fault)
{
    std::vector<unsigned char> sectorSize, diskSize;
    std::uint64_t tableAt = 0, tableLength = 0;
    link.blockSize = ReadLe32(parameters.data());
    if (!ReadMetadataItem(fd, fileSize, VhdxLogicalSectorSizeItem, sectorSize) || sectorSize.size() < 4 ||
        !ReadMetadataItem(fd, fileSize, VhdxDiskSizeItem, diskSize) || diskSize.size() < 8 ||
        !FindRegion(fd, VhdxBatRegion, tableAt, tableLength)) {
        fault = {"", "damaged VHDX image (no disk size, sector size or block table)"};
        return false;
    }
    std::uint64_t logical = ReadLe32(sectorSize.data());
    link.vhdxSize = ReadLe64(diskSize.data());
    if ((logical != 512 && logical != 4096) || link.blockSize < (1u << 20) || link.blockSize > (256u << 20) ||
        (link.blockSize & (link.blockSize - 1)) != 0 || link.vhdxSize == 0 || link.vhdxSize > (64ULL << 40)) {
        fault = {"", "damaged VHDX image (its block or sector size is not one VHDX has)"};
        return false;
    }
    link.chunkRatio = (1ULL << 23) * logical / link.blockSize;
    std::uint64_t blocks = (link.vhdxSize + link.blockSize - 1) / link.blockSize;
    std::uint64_t entries = blocks + blocks / link.chunkRatio + 1;
    if (entries > VhdxMaxTableEntries || entries * 8 > tableLength || tableAt > fileSize || tableLength > fileSize - tableAt) {
        fault = {"", "damaged VHDX image (its block table does not fit in the file)"};
        return false;
    }
    std::vector<unsigned char> table(entries * 8);
    if (!ReadExactlyAt(fd, table.data(), table.size(), tableAt)) {
        fault = {"", "damaged VHDX image (its block table cannot be read)"};
        return false;
    }
    for (std::uint64_t b = 0; b < blocks; ++b)
        link.vhdxTable.push_back(ReadLe64(&table[(b + b / link.chunkRatio) * 8]));
    return true;
}

} // namespace

bool ReadVhdxLink(int fd, const std::string &path, VhdLink &link, Fault &fault)
{
    struct stat info;
    if (fstat(fd, &info) != 0) {
        fault = {"", "not a VHDX image"};
        return false;
    }
    const std::uint64_t fileSize = static_cast<std::uint64_t>(info.st_size);
    link.path = path;
    link.fd = fd;
    link.vhdx = true;
    std::uint64_t best = 0;
    for (unsigned at : VhdxHeaderAt) {
        unsigned char header[VhdxHeaderSize];
        if (!ReadExactlyAt(fd, header, sizeof header, at) || std::memcmp(header, VhdxHeaderSignature, 4) != 0)
            continue;
        if (link.identity.empty() || ReadLe64(header + VhdxSequenceAt) > best) {
            best = ReadLe64(header + VhdxSequenceAt);
            link.identity = BracedGuidText(header + VhdxDataWriteGuidAt, true);
        }
    }
    std::vector<unsigned char> parameters;
    if (link.identity.empty() || !ReadMetadataItem(fd, fileSize, VhdxFileParametersItem, parameters) ||
        parameters.size() < 8) {
        fault = {"", "damaged VHDX image (no header or file parameters)"};
        return false;
    }
    link.differencing = (ReadLe32(parameters.data() + 4) & VhdxHasParentFlag) != 0;
    if (!link.differencing)
        return true;
    std::vector<unsigned char> locator;
    if (!ReadMetadataItem(fd, fileSize, VhdxParentLocatorItem, locator) || locator.size() < VhdxLocatorEntriesAt) {
        fault = {"", "damaged VHDX image (a differencing disk without its parent locator)"};
        return false;
    }
    std::uint32_t count = ReadLe16(locator.data() + VhdxLocatorCountAt);
    for (std::uint32_t i = 0; i < count && VhdxLocatorEntriesAt + (i + 1) * VhdxLocatorEntrySize <= locator.size(); ++i) {
        const unsigned char *entry = locator.data() + VhdxLocatorEntriesAt + i * VhdxLocatorEntrySize;
        std::uint64_t keyAt = ReadLe32(entry), valueAt = ReadLe32(entry + 4);
        std::uint64_t keySize = ReadLe16(entry + 8), valueSize = ReadLe16(entry + 10);
        if (keyAt > locator.size() || keySize > locator.size() - keyAt || valueAt > locator.size() ||
            valueSize > locator.size() - valueAt)
            continue;
        std::string key = Utf16LeNameAsUtf8(locator.data() + keyAt, keySize);
        std::string value = Utf16LeNameAsUtf8(locator.data() + valueAt, valueSize);
        if (key == "parent_linkage")
            link.parentIdentity = Lower(value);
        else if (key == "parent_linkage2")
            link.parentIdentity2 = Lower(value);
        else if (key == "relative_path")
            link.parent.relative = value;
        else if (key == "absolute_win32_path")
            link.parent.absolute = value;
    }
    return ReadVhdxTable(fd, fileSize, parameters, link, fault);
}
