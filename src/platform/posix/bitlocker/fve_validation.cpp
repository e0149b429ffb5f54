#include "platform/posix/bitlocker/fve_validation.h"

#include "platform/posix/base/byte_order.h"

std::uint32_t FveCrc32(const unsigned char *bytes, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

bool FveCopyIsValid(const unsigned char *block, std::size_t size)
{
    return FveCrc32(block, size) == ReadLe32(block + size + FveValidationCrcAt);
}
