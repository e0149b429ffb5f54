#include "platform/posix/sources/regf/regf_base_block.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"

std::uint32_t RegfBaseBlockChecksum(const unsigned char *block)
{
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < kRegfChecksumAt; at += 4)
        sum ^= ReadLe32(block + at);
    // 0 and all ones are kept apart from the values a wiped block reads as.
    if (sum == 0xFFFFFFFFu)
        return 0xFFFFFFFEu;
    return sum == 0 ? 1 : sum;
}

bool ReadRegfBaseBlock(const unsigned char *bytes, std::size_t size, RegfBaseBlock &block)
{
    block = RegfBaseBlock();
    if (bytes == nullptr || size < kRegfSectorSize)
        return false;
    block.signatureValid = std::memcmp(bytes + kRegfSignatureAt, "regf", 4) == 0;
    block.checksumValid = ReadLe32(bytes + kRegfChecksumAt) == RegfBaseBlockChecksum(bytes);
    block.primarySequence = ReadLe32(bytes + kRegfPrimarySequenceAt);
    block.secondarySequence = ReadLe32(bytes + kRegfSecondarySequenceAt);
    block.lastWritten = ReadLe64(bytes + kRegfLastWrittenAt);
    block.majorVersion = ReadLe32(bytes + kRegfMajorVersionAt);
    block.minorVersion = ReadLe32(bytes + kRegfMinorVersionAt);
    block.fileType = ReadLe32(bytes + kRegfFileTypeAt);
    block.hiveBinsSize = ReadLe32(bytes + kRegfHiveBinsSizeAt);
    block.clusteringFactor = ReadLe32(bytes + kRegfClusteringFactorAt);
    block.flags = ReadLe32(bytes + kRegfFlagsAt);
    return true;
}

bool RegfBaseBlockIntact(const RegfBaseBlock &block)
{
    return block.signatureValid && block.checksumValid;
}

bool RegfHiveDirty(const RegfBaseBlock &block)
{
    return !RegfBaseBlockIntact(block) || block.primarySequence != block.secondarySequence;
}

void SealRegfBaseBlock(unsigned char *block, std::uint32_t sequence, std::uint32_t hiveBinsSize)
{
    std::memcpy(block + kRegfSignatureAt, "regf", 4);
    WriteLe32(block + kRegfPrimarySequenceAt, sequence);
    WriteLe32(block + kRegfSecondarySequenceAt, sequence);
    WriteLe32(block + kRegfFileTypeAt, kRegfFileTypePrimary);
    WriteLe32(block + kRegfHiveBinsSizeAt, hiveBinsSize);
    WriteLe32(block + kRegfChecksumAt, RegfBaseBlockChecksum(block));
}
