#include "platform/posix/bitlocker/fve_eow_read.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/fve_eow_bitmap.h"
#include "platform/posix/bitlocker/fve_eow_bitmap_record.h"
#include "platform/posix/bitlocker/fve_eow_information.h"

namespace {

std::uint64_t RoundUp(std::uint64_t size, std::uint32_t unit)
{
    return (size + unit - 1) / unit * unit;
}

// The information block at `at`: 0 where it has no signature there, -1
// where it has but fails its checks, 1 where it is read.
int ReadInformation(const LowerVolume &lower, std::uint64_t at, std::uint32_t sectorSize,
                    FveEowInformation &information)
{
    unsigned char head[FveEowHeaderSize];
    if (at == 0 || !ReadVolumeBytes(lower, at, head, sizeof head) ||
        std::memcmp(head, FveEowSignature, FveEowSignatureSize) != 0)
        return 0;
    std::vector<unsigned char> block(ReadLe16(head + FveEowSizeAt));
    if (at % sectorSize != 0 || !ReadVolumeBytes(lower, at, block.data(), block.size()) ||
        !ReadFveEowInformation(block.data(), block.size(), sectorSize, information))
        return -1;
    return 1;
}

// The region of the `index`th bitmap block, at `at`, into `eow`; false
// where it fails its checks, or with `tooLarge` where `read` (bytes read so
// far) grows past what is read.
bool ReadRegion(const LowerVolume &lower, const FveEowInformation &information, std::uint32_t index,
                std::uint32_t sectorSize, FveEow &eow, std::uint64_t &read, bool &tooLarge)
{
    std::uint64_t at = information.bitmapAt[index];
    unsigned char head[FveEowBitmapHeaderSize];
    FveEowBitmap bitmap;
    if (at % sectorSize != 0 || !ReadVolumeBytes(lower, at, head, sizeof head) ||
        !ReadFveEowBitmapHead(head, sizeof head, index, bitmap))
        return false;
    read += bitmap.size;
    tooLarge = read > FveEowReadMost;
    if (tooLarge)
        return false;
    std::vector<unsigned char> block(bitmap.size);
    if (!ReadVolumeBytes(lower, at, block.data(), block.size()) || !FveEowBitmapIsValid(block.data(), bitmap))
        return false;
    FveEowRecord last, record;
    for (int copy = 0; copy < FveEowBitmapRecords; ++copy)
        if (ReadFveEowRecord(block.data() + bitmap.recordAt[copy], bitmap.recordSize, record) &&
            (last.bitmap == nullptr || record.sequence > last.sequence))
            last = record;
    std::uint64_t chunks = (bitmap.regionSize - 1) / information.chunkSize + 1;
    if (last.bitmap == nullptr || bitmap.regionAt % sectorSize != 0 || bitmap.regionSize == 0 ||
        bitmap.regionAt + bitmap.regionSize < bitmap.regionAt || chunks > last.bits)
        return false;
    FveEowRegion region;
    region.at = bitmap.regionAt;
    region.size = bitmap.regionSize;
    region.bits.assign(last.bitmap, last.bitmap + (chunks + 7) / 8);
    eow.regions.push_back(region);
    eow.hidden.push_back({at, RoundUp(bitmap.size, sectorSize)});
    if (bitmap.convLogAt != 0)
        eow.hidden.push_back({bitmap.convLogAt, information.convLogSize});
    return true;
}

} // namespace

bool ReadFveEow(const LowerVolume &lower, const FveVolumeHeader &header, FveEow &eow, Fault &fault)
{
    eow = FveEow();
    FveEowInformation copies[FveEowCopies];
    int found[FveEowCopies] = {0, 0}, chosen = -1;
    for (int copy = 0; copy < FveEowCopies; ++copy) {
        found[copy] = ReadInformation(lower, header.eowAt[copy], header.sectorSize, copies[copy]);
        if (found[copy] == 1 && chosen < 0)
            chosen = copy;
    }
    if (found[0] == 0 && found[1] == 0)
        return true;
    if (chosen < 0) {
        fault = {"", "neither copy of its BitLocker encrypt-on-write information passes its checks"};
        return false;
    }
    const FveEowInformation &information = copies[chosen];
    eow.present = true;
    eow.chunkSize = information.chunkSize;
    for (int copy = 0; copy < FveEowCopies; ++copy)
        if (found[copy] != 0)
            eow.hidden.push_back({header.eowAt[copy], RoundUp(information.size, header.sectorSize)});
    std::uint64_t read = 0;
    bool tooLarge = false;
    for (std::uint32_t index = 0; index < information.bitmapAt.size(); ++index) {
        if (!ReadRegion(lower, information, index, header.sectorSize, eow, read, tooLarge)) {
            fault = {"", tooLarge ? "its BitLocker encrypt-on-write bitmaps are larger than this program reads"
                                  : "its BitLocker encrypt-on-write bitmap " + std::to_string(index) +
                                        " fails its checks"};
            return false;
        }
    }
    std::sort(eow.regions.begin(), eow.regions.end(),
              [](const FveEowRegion &a, const FveEowRegion &b) { return a.at < b.at; });
    for (std::size_t i = 1; i < eow.regions.size(); ++i) {
        if (eow.regions[i].at - eow.regions[i - 1].at < eow.regions[i - 1].size) {
            fault = {"", "its BitLocker encrypt-on-write regions overlap"};
            return false;
        }
    }
    return true;
}

FveChunk FveEowChunk(const FveEow &eow, std::uint64_t offset)
{
    // The last region starting at or before `offset`.
    std::size_t low = 0, high = eow.regions.size();
    while (low < high) {
        std::size_t middle = low + (high - low) / 2;
        if (eow.regions[middle].at <= offset)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0)
        return FveChunk::Unknown;
    const FveEowRegion &region = eow.regions[low - 1];
    if (offset - region.at >= region.size)
        return FveChunk::Unknown;
    std::uint64_t chunk = (offset - region.at) / eow.chunkSize;
    return (region.bits[chunk / 8] >> (chunk % 8)) & 1 ? FveChunk::Encrypted : FveChunk::Plain;
}
