#include "platform/posix/shadow/vss_catalog.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/shadow/vss_block_header.h"

bool ReadVssCatalog(const LowerVolume &volume, std::uint64_t catalogAt, std::vector<VssStoreEntry> &stores,
                    std::vector<VssStoreLocation> &locations, Fault &fault)
{
    VssChain chain{&volume, VssCatalogRecord, "catalog", catalogAt, VssCatalogMostBlocks, {}};
    std::vector<unsigned char> block(VssBlockSize);
    while (chain.next != 0) {
        if (!ReadNextVssBlock(chain, block.data(), fault))
            return false;
        for (std::size_t at = VssBlockHeaderSize; at + VssCatalogEntrySize <= VssBlockSize; at += VssCatalogEntrySize) {
            const unsigned char *entry = &block[at];
            std::uint64_t type = ReadLe64(entry + VssCatalogEntryTypeAt);
            if (type == VssEntryStore) {
                VssStoreEntry store;
                std::memcpy(store.store, entry + VssStoreIdentifierAt, GuidSize);
                store.volumeSize = ReadLe64(entry + VssStoreVolumeSizeAt);
                store.sequence = ReadLe64(entry + VssStoreSequenceAt);
                store.creationTime = ReadLe64(entry + VssStoreCreationTimeAt);
                stores.push_back(store);
            } else if (type == VssEntryLocation) {
                VssStoreLocation location;
                std::memcpy(location.store, entry + VssStoreIdentifierAt, GuidSize);
                location.blockListAt = ReadLe64(entry + VssLocationBlockListAt);
                location.headerAt = ReadLe64(entry + VssLocationHeaderAt);
                location.rangeListAt = ReadLe64(entry + VssLocationRangeListAt);
                location.bitmapAt = ReadLe64(entry + VssLocationBitmapAt);
                location.previousBitmapAt = ReadLe64(entry + VssLocationPreviousBitmapAt);
                locations.push_back(location);
            }
            // Empty and unused entries, and kinds not known, say nothing of a store.
        }
    }
    return true;
}
