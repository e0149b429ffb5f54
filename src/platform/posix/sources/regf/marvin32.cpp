#include "platform/posix/sources/regf/marvin32.h"

#include "platform/posix/base/byte_order.h"

namespace {

std::uint32_t RotateLeft(std::uint32_t value, int bits)
{
    return value << bits | value >> (32 - bits);
}

void Mix(std::uint32_t &lo, std::uint32_t &hi)
{
    hi ^= lo;
    lo = RotateLeft(lo, 20);
    lo += hi;
    hi = RotateLeft(hi, 9);
    hi ^= lo;
    lo = RotateLeft(lo, 27);
    lo += hi;
    hi = RotateLeft(hi, 19);
}

} // namespace

std::uint64_t Marvin32(const unsigned char *data, std::size_t size, std::uint64_t seed)
{
    std::uint32_t lo = static_cast<std::uint32_t>(seed), hi = static_cast<std::uint32_t>(seed >> 32);
    std::size_t at = 0;
    for (; size - at >= 4; at += 4) {
        lo += ReadLe32(data + at);
        Mix(lo, hi);
    }
    // The tail's one to three bytes, then a single 0x80 byte as the end mark.
    std::uint32_t last = 0x80;
    for (std::size_t i = size - at; i > 0; --i)
        last = last << 8 | data[at + i - 1];
    lo += last;
    Mix(lo, hi);
    Mix(lo, hi);
    return static_cast<std::uint64_t>(hi) << 32 | lo;
}
