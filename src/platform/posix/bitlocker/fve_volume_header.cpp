#include "platform/posix/bitlocker/fve_volume_header.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"

namespace {

bool ValidSectorSize(std::uint32_t size)
{
    return size == 512 || size == 1024 || size == 2048 || size == 4096;
}

} // namespace

FveVolumeHeader ReadFveVolumeHeader(const unsigned char *sector)
{
    FveVolumeHeader header;
    const unsigned char *signature = sector + FveSignatureAt;
    std::size_t guidAt = 0;
    if (std::memcmp(signature, FveSignature, FveSignatureSize) == 0)
        guidAt = FveGuidAt;
    else if (std::memcmp(signature, FveToGoSignature, FveSignatureSize) == 0)
        guidAt = FveToGoGuidAt;
    else
        return header;
    header.sectorSize = ReadLe16(sector + FveBytesPerSectorAt);
    header.clusterSize = header.sectorSize * sector[FveSectorsPerClusterAt];
    if (!ValidSectorSize(header.sectorSize))
        return header;
    const unsigned char *guid = sector + guidAt;
    bool eow = std::memcmp(guid, FveEowGuid, sizeof FveEowGuid) == 0;
    if (eow || std::memcmp(guid, FveVolumeGuid, sizeof FveVolumeGuid) == 0) {
        header.kind = guidAt == FveToGoGuidAt ? FveHeaderKind::ToGo : FveHeaderKind::Seven;
        header.encryptOnWrite = eow;
        for (int copy = 0; copy < FveCopies; ++copy)
            header.copyAt[copy] = ReadLe64(guid + FveCopyOffsetsAfterGuid + 8 * copy);
        for (int copy = 0; eow && copy < FveEowCopies; ++copy)
            header.eowAt[copy] = ReadLe64(guid + FveEowOffsetsAfterGuid + 8 * copy);
        return header;
    }
    // Vista's header carries no identifier, only where the first copy is.
    std::uint64_t cluster = ReadLe64(sector + FveVistaMetadataClusterAt);
    if (guidAt == FveGuidAt && cluster != 0 && header.clusterSize != 0 && cluster < (1ULL << 40)) {
        header.kind = FveHeaderKind::Vista;
        header.copyAt[0] = cluster * header.clusterSize;
    }
    return header;
}
