#include "platform/posix/bitlocker/fve_validation.h"

#include "platform/posix/base/byte_order.h"

namespace {

std::uint32_t Crc32Of(const unsigned char *bytes, std::size_t size, std::size_t zerosAt, std::size_t zeros)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= i - zerosAt < zeros ? 0 : bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

} // namespace

std::uint32_t FveCrc32(const unsigned char *bytes, std::size_t size)
{
    return Crc32Of(bytes, size, 0, 0);
}

std::uint32_t FveCrc32Without(const unsigned char *bytes, std::size_t size, std::size_t crcAt)
{
    return Crc32Of(bytes, size, crcAt, 4);
}

bool FveCopyIsValid(const unsigned char *block, std::size_t size)
{
    return FveCrc32(block, size) == ReadLe32(block + size + FveValidationCrcAt);
}
