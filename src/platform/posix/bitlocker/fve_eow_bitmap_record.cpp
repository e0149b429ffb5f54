#include "platform/posix/bitlocker/fve_eow_bitmap_record.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/fve_validation.h"

bool ReadFveEowRecord(const unsigned char *record, std::size_t room, FveEowRecord &read)
{
    if (room < FveEowRecordHeaderSize || std::memcmp(record, FveEowRecordSignature, FveEowRecordSignatureSize) != 0)
        return false;
    std::size_t headerSize = ReadLe16(record + FveEowRecordHeaderSizeAt);
    std::size_t size = ReadLe32(record + FveEowRecordSizeAt);
    read.bits = ReadLe32(record + FveEowRecordBitsAt);
    read.sequence = ReadLe64(record + FveEowRecordSequenceAt);
    read.bitmap = record + headerSize;
    return headerSize >= FveEowRecordHeaderSize && size >= headerSize && size <= room &&
           read.bits / 8 + (read.bits % 8 != 0) <= size - headerSize &&
           FveCrc32Without(record, size, FveEowRecordCrcAt) == ReadLe32(record + FveEowRecordCrcAt);
}
