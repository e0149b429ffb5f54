#include "platform/posix/shadow/vss_volume_header.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/shadow/vss_block_header.h"

bool ReadVssVolumeHeader(const LowerVolume &volume, VssVolumeHeader &header, std::uint32_t &version)
{
    unsigned char bytes[VssVolumeHeaderSize];
    version = 0;
    if (!ReadVolumeBytes(volume, VssVolumeHeaderAt, bytes, sizeof bytes) ||
        std::memcmp(bytes + VssIdentifierAt, VssIdentifier, sizeof VssIdentifier) != 0 ||
        ReadLe32(bytes + VssRecordTypeAt) != VssVolumeHeaderRecord)
        return false;
    version = ReadLe32(bytes + VssVersionAt);
    if (version < VssVolumeVersionFirst || version > VssVolumeVersionLast)
        return false;
    header.catalogAt = ReadLe64(bytes + VssCatalogOffsetAt);
    std::memcpy(header.volume, bytes + VssVolumeIdentifierAt, GuidSize);
    std::memcpy(header.storage, bytes + VssStorageIdentifierAt, GuidSize);
    return true;
}

bool DifferenceAreaIsHere(const VssVolumeHeader &header)
{
    static const unsigned char none[GuidSize] = {};
    return std::memcmp(header.storage, header.volume, GuidSize) == 0 ||
           std::memcmp(header.storage, none, GuidSize) == 0;
}
