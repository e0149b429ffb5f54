#include "platform/posix/shadow/vss_range_list.h"

#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/shadow/vss_block_header.h"

bool CheckVssRangeList(const LowerVolume &area, std::uint64_t offset, Fault &fault)
{
    VssChain chain{&area, VssRangeListRecord, "range list", offset, VssRangeListMostBlocks, {}};
    std::vector<unsigned char> block(VssBlockSize);
    while (chain.next != 0) {
        if (!ReadNextVssBlock(chain, block.data(), fault))
            return false;
        for (std::size_t at = VssBlockHeaderSize; at + VssRangeEntrySize <= VssBlockSize; at += VssRangeEntrySize) {
            std::uint64_t start = ReadLe64(&block[at + VssRangeOffsetAt]), size = ReadLe64(&block[at + VssRangeSizeAt]);
            if (start > area.size || size > area.size - start) {
                fault.words = "range list names " + std::to_string(size) + " bytes at " + HexOffset(start) +
                              ", past the end of the difference area's volume";
                return false;
            }
        }
    }
    return true;
}
