#include "platform/posix/shadow/vss_store_bitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/shadow/vss_block_header.h"

bool ReadVssStoreBitmap(const LowerVolume &area, std::uint64_t offset, std::uint64_t volumeSize,
                        std::vector<unsigned char> &bits, Fault &fault)
{
    const std::size_t inBlock = VssBlockSize - VssBlockHeaderSize;
    const std::uint64_t blocks = volumeSize / VssBlockSize + (volumeSize % VssBlockSize != 0);
    bits.clear();
    if ((blocks + 7) / 8 > VssBitmapMostBytes)
        return true;
    bits.assign(static_cast<std::size_t>((blocks + 7) / 8), 0);
    // Blocks past the ones the volume needs would describe nothing: unread.
    VssChain chain{&area, VssBitmapRecord, "bitmap", offset, bits.size() / inBlock + 1, {}};
    std::vector<unsigned char> block(VssBlockSize);
    for (std::size_t filled = 0; chain.next != 0 && filled < bits.size(); filled += inBlock) {
        if (!ReadNextVssBlock(chain, block.data(), fault))
            return false;
        std::memcpy(&bits[filled], &block[VssBlockHeaderSize], std::min(inBlock, bits.size() - filled));
    }
    return true;
}

bool IsBlockFree(const std::vector<unsigned char> &bits, std::uint64_t offset)
{
    const std::uint64_t block = offset / VssBlockSize;
    return block / 8 < bits.size() && (bits[static_cast<std::size_t>(block / 8)] >> (block % 8) & 1) != 0;
}
