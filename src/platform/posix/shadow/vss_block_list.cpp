#include "platform/posix/shadow/vss_block_list.h"

#include <algorithm>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/shadow/vss_block_header.h"

namespace {

const std::size_t DescriptorsInBlock = (VssBlockSize - VssBlockHeaderSize) / VssDescriptorSize;

bool IsEmpty(const unsigned char *descriptor)
{
    return std::all_of(descriptor, descriptor + VssDescriptorSize, [](unsigned char c) { return c == 0; });
}

} // namespace

bool ReadVssBlockList(const LowerVolume &area, std::uint64_t offset, std::size_t &budget, TakeDescriptor take,
                      void *taker, Fault &fault)
{
    // A list of only empty blocks takes no budget: its length is bounded too.
    VssChain chain{&area, VssBlockListRecord, "block list", offset, budget / DescriptorsInBlock + 1, {}};
    std::vector<unsigned char> block(VssBlockSize);
    while (chain.next != 0) {
        if (!ReadNextVssBlock(chain, block.data(), fault))
            return false;
        for (std::size_t at = VssBlockHeaderSize; at + VssDescriptorSize <= VssBlockSize; at += VssDescriptorSize) {
            const unsigned char *bytes = &block[at];
            if (IsEmpty(bytes))
                continue;
            if (budget == 0) {
                fault.words = "block list describes more blocks than are read of a volume's shadow copies";
                return false;
            }
            --budget;
            VssBlockDescriptor descriptor{ReadLe64(bytes + VssDescriptorOriginalAt),
                                          ReadLe64(bytes + VssDescriptorRelativeAt),
                                          ReadLe64(bytes + VssDescriptorDataAt), ReadLe32(bytes + VssDescriptorFlagsAt),
                                          ReadLe32(bytes + VssDescriptorSectorsAt)};
            if (!take(taker, descriptor, fault))
                return false;
        }
    }
    return true;
}
