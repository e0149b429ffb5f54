#include "platform/posix/bitlocker/fve_eow_bitmap.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/fve_validation.h"

bool ReadFveEowBitmapHead(const unsigned char *block, std::size_t size, std::uint32_t index, FveEowBitmap &bitmap)
{
    if (size < FveEowBitmapHeaderSize ||
        std::memcmp(block, FveEowBitmapSignature, FveEowBitmapSignatureSize) != 0)
        return false;
    std::uint16_t headerSize = ReadLe16(block + FveEowBitmapHeaderSizeAt);
    bitmap.size = ReadLe32(block + FveEowBitmapSizeAt);
    bitmap.regionAt = ReadLe64(block + FveEowBitmapRegionAt);
    bitmap.regionSize = ReadLe64(block + FveEowBitmapRegionSizeAt);
    bitmap.convLogAt = ReadLe64(block + FveEowBitmapConvLogAt);
    bitmap.recordSize = ReadLe32(block + FveEowBitmapRecordSizeAt);
    if (headerSize < FveEowBitmapHeaderSize || bitmap.size > FveEowBitmapMost ||
        ReadLe32(block + FveEowBitmapIndexAt) != index)
        return false;
    for (int record = 0; record < FveEowBitmapRecords; ++record) {
        std::uint32_t at = ReadLe32(block + FveEowBitmapRecordsAt + 4 * record);
        bitmap.recordAt[record] = at;
        if (at < headerSize || at > bitmap.size || bitmap.size - at < bitmap.recordSize)
            return false;
    }
    return bitmap.recordAt[0] <= bitmap.recordAt[1];
}

bool FveEowBitmapIsValid(const unsigned char *block, const FveEowBitmap &bitmap)
{
    return FveCrc32Without(block, bitmap.recordAt[0], FveEowBitmapCrcAt) == ReadLe32(block + FveEowBitmapCrcAt);
}
