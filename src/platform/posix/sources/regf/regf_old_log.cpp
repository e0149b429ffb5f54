#include "platform/posix/sources/regf/regf_old_log.h"

#include <cstring>

namespace {

bool BitSet(const unsigned char *bitmap, std::size_t bit)
{
    return (bitmap[bit / 8] >> (bit % 8) & 1) != 0;
}

} // namespace

bool ReadRegfOldLog(const unsigned char *bytes, std::size_t size, RegfOldLog &log, const char *&problem)
{
    if (!ReadRegfBaseBlock(bytes, size, log.base)) {
        problem = "no base block";
        return false;
    }
    // The base block's copy fills one disk sector; the vector starts in the next.
    std::uint32_t factor = log.base.clusteringFactor;
    if (factor == 0 || factor > kRegfLargestClusteringFactor || (factor & (factor - 1)) != 0) {
        problem = "clustering factor out of range";
        return false;
    }
    const std::size_t sector = kRegfSectorSize * factor;
    std::uint32_t binsSize = log.base.hiveBinsSize;
    if (binsSize == 0 || binsSize % kRegfHiveBinAlignment != 0) {
        problem = "hive bins data size not a multiple of 4096";
        return false;
    }
    log.bitmapBits = binsSize / kRegfDirtySectorSize;
    const std::size_t bitmapBytes = log.bitmapBits / 8;
    if (size < sector || size - sector < kRegfDirtyVectorSignatureSize + bitmapBytes) {
        problem = "dirty vector past the log's end";
        return false;
    }
    if (std::memcmp(bytes + sector, "DIRT", kRegfDirtyVectorSignatureSize) != 0) {
        problem = "dirty vector not signed DIRT";
        return false;
    }
    log.bitmap = bytes + sector + kRegfDirtyVectorSignatureSize;
    log.sectorCount = 0;
    for (std::size_t i = 0; i < bitmapBytes; ++i) {
        for (unsigned char b = log.bitmap[i]; b != 0; b &= static_cast<unsigned char>(b - 1))
            ++log.sectorCount;
    }
    std::size_t vectorEnd = sector + kRegfDirtyVectorSignatureSize + bitmapBytes;
    std::size_t sectorsAt = (vectorEnd + sector - 1) / sector * sector;
    if (sectorsAt > size || (size - sectorsAt) / kRegfDirtySectorSize < log.sectorCount) {
        problem = "dirty sectors past the log's end";
        return false;
    }
    log.sectors = bytes + sectorsAt;
    return true;
}

bool NextRegfDirtyRun(const RegfOldLog &log, std::size_t &bit, std::size_t &sector, RegfDirtyRun &run)
{
    while (bit < log.bitmapBits && !BitSet(log.bitmap, bit))
        ++bit;
    if (bit >= log.bitmapBits || sector >= log.sectorCount)
        return false;
    std::size_t first = bit;
    while (bit < log.bitmapBits && BitSet(log.bitmap, bit) && sector + (bit - first) < log.sectorCount)
        ++bit;
    run.binsOffset = static_cast<std::uint64_t>(first) * kRegfDirtySectorSize;
    run.bytes = log.sectors + sector * kRegfDirtySectorSize;
    run.size = (bit - first) * kRegfDirtySectorSize;
    sector += bit - first;
    return true;
}
