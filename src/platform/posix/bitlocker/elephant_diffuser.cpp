#include "platform/posix/bitlocker/elephant_diffuser.h"

#include <cstdint>

#include "platform/posix/base/byte_order.h"

namespace {

// The rounds each diffuser runs over every word, and its rotations by word
// index modulo 4.
const int CyclesA = 5;
const int CyclesB = 3;
const unsigned RotateA[4] = {9, 0, 13, 0};
const unsigned RotateB[4] = {0, 10, 0, 25};
const std::size_t WordsMost = 4096 / 4;

std::uint32_t RotateLeft(std::uint32_t value, unsigned bits)
{
    return bits == 0 ? value : (value << bits) | (value >> (32 - bits));
}

} // namespace

void UndoElephantDiffusers(unsigned char *sector, std::size_t size)
{
    std::uint32_t d[WordsMost];
    std::size_t n = size / 4;
    if (n > WordsMost || n < 8)
        return;
    for (std::size_t i = 0; i < n; ++i)
        d[i] = ReadLe32(sector + 4 * i);
    // B reads the words ahead of the one it changes, A those behind.
    for (int cycle = 0; cycle < CyclesB; ++cycle)
        for (std::size_t i = 0; i < n; ++i)
            d[i] += d[(i + 2) % n] ^ RotateLeft(d[(i + 5) % n], RotateB[i % 4]);
    for (int cycle = 0; cycle < CyclesA; ++cycle)
        for (std::size_t i = 0; i < n; ++i)
            d[i] += d[(i + n - 2) % n] ^ RotateLeft(d[(i + n - 5) % n], RotateA[i % 4]);
    for (std::size_t i = 0; i < n; ++i)
        WriteLe32(sector + 4 * i, d[i]);
}
