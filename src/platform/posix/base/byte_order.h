// On-disk integers, read from and written to byte buffers. Registry files,
// boot records and most disk containers are little-endian; qcow2 is not.
#pragma once

#include <cstdint>

inline std::uint16_t ReadLe16(const unsigned char *p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t ReadLe32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t ReadLe64(const unsigned char *p)
{
    return ReadLe32(p) | static_cast<std::uint64_t>(ReadLe32(p + 4)) << 32;
}

inline std::uint32_t ReadBe32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

inline std::uint64_t ReadBe64(const unsigned char *p)
{
    return static_cast<std::uint64_t>(ReadBe32(p)) << 32 | ReadBe32(p + 4);
}

inline void WriteLe32(unsigned char *p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void WriteLe64(unsigned char *p, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void WriteBe32(unsigned char *p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}
