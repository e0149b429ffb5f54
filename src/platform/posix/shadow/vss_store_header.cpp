#include "platform/posix/shadow/vss_store_header.h"

#include <cstring>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/shadow/vss_block_header.h"

bool ReadVssStoreHeader(const LowerVolume &area, std::uint64_t offset, VssStoreHeader &header, Fault &fault)
{
    std::vector<unsigned char> block(VssBlockSize);
    if (!ReadVssBlock(area, offset, VssStoreHeaderRecord, "store header", block.data(), fault))
        return false;
    std::uint64_t size = ReadLe64(&block[VssStoreInfoSizeAt]);
    if (size < VssInfoLeast || size > VssBlockSize - VssBlockHeaderSize) {
        fault.words = "store header at " + HexOffset(offset) + " gives its information " + std::to_string(size) +
                      " bytes, not " + std::to_string(VssInfoLeast) + " to " +
                      std::to_string(VssBlockSize - VssBlockHeaderSize);
        return false;
    }
    const unsigned char *info = &block[VssBlockHeaderSize];
    std::memcpy(header.copy, info + VssInfoCopyIdentifierAt, GuidSize);
    return true;
}
