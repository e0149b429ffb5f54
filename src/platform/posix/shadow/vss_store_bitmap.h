// A store's bitmaps: chains of 16 KiB blocks of record type 6 whose bits,
// after each header, stand for the copied volume's 16 KiB blocks in order,
// lowest bit first. A set bit is a block the file system did not use when
// the copy was made (the current bitmap), or when the store before it was
// (the previous one): such a block was never copied, and reads as zeros.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/lower_volume.h"

// A volume over 8 TiB is read without its bitmaps: its free blocks then
// read as the volume has them now, rather than as zeros.
const std::uint64_t VssBitmapMostBytes = 64 << 20;

// The bitmap at `offset` of the volume holding the difference area, as one
// bit a block of a volume of `volumeSize` bytes; bits past the chain's end
// are clear. False with `fault`'s words where the chain cannot be read.
bool ReadVssStoreBitmap(const LowerVolume &area, std::uint64_t offset, std::uint64_t volumeSize,
                        std::vector<unsigned char> &bits, Fault &fault);

bool IsBlockFree(const std::vector<unsigned char> &bits, std::uint64_t offset);
