#include "platform/posix/bitlocker/fve_eow_information.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/fve_validation.h"

bool ReadFveEowInformation(const unsigned char *block, std::size_t size, std::uint32_t sectorSize,
                           FveEowInformation &information)
{
    if (size < FveEowHeaderSize || std::memcmp(block, FveEowSignature, FveEowSignatureSize) != 0)
        return false;
    std::size_t headerSize = ReadLe16(block + FveEowHeaderSizeAt), blockSize = ReadLe16(block + FveEowSizeAt);
    std::uint32_t regions = ReadLe32(block + FveEowRegionCountAt);
    information.size = static_cast<std::uint32_t>(blockSize);
    information.chunkSize = ReadLe32(block + FveEowChunkSizeAt);
    information.convLogSize = ReadLe32(block + FveEowConvLogSizeAt);
    if (headerSize < FveEowHeaderSize || blockSize < headerSize || blockSize > size || regions == 0 ||
        regions > (blockSize - headerSize) / 8 || ReadLe32(block + FveEowSectorSizeAt) != sectorSize ||
        information.chunkSize == 0 || information.chunkSize % sectorSize != 0 ||
        FveCrc32Without(block, blockSize, FveEowCrcAt) != ReadLe32(block + FveEowCrcAt))
        return false;
    information.bitmapAt.clear();
    for (std::uint32_t region = 0; region < regions; ++region)
        information.bitmapAt.push_back(ReadLe64(block + headerSize + 8 * region));
    return true;
}
