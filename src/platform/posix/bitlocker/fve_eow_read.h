// An encrypt-on-write volume's conversion progress, from its information
// block and its regions' bitmaps: which chunks are encrypted yet (the rest
// still lie as they were), and the areas those structures take, which the
// volume shows as zeros.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/bitlocker/fve_volume_header.h"
#include "platform/posix/base/lower_volume.h"

const std::uint64_t FveEowReadMost = 64 << 20; // bytes of bitmap blocks read, all regions together

struct FveEowRegion {
    std::uint64_t at = 0, size = 0;
    std::vector<unsigned char> bits; // a bit a chunk, from the last record written
};

struct FveArea {
    std::uint64_t at = 0, size = 0;
};

struct FveEow {
    bool present = false; // false: no information block at either offset
    std::uint32_t chunkSize = 0;
    std::vector<FveEowRegion> regions; // by offset, none overlapping
    std::vector<FveArea> hidden;       // the information, bitmap blocks and conversion logs
};

enum class FveChunk { Unknown, Plain, Encrypted };

// The progress of the encrypt-on-write volume under `lower` whose header is
// `header`. True with `eow.present` false where neither of its offsets holds
// an information block; false with `fault` where one does but no copy, or
// one of its bitmaps, passes its checks.
bool ReadFveEow(const LowerVolume &lower, const FveVolumeHeader &header, FveEow &eow, Fault &fault);

// Whether the chunk holding `offset` (on the volume beneath) is encrypted
// yet; Unknown where no region holds it.
FveChunk FveEowChunk(const FveEow &eow, std::uint64_t offset);
