#include "platform/posix/shadow/shadow_stores.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/shadow/shadow_store_set.h"
#include "platform/posix/shadow/vss_block_header.h"
#include "platform/posix/shadow/vss_catalog.h"
#include "platform/posix/shadow/vss_range_list.h"
#include "platform/posix/shadow/vss_store_bitmap.h"
#include "platform/posix/shadow/vss_store_header.h"
#include "platform/posix/shadow/vss_volume_header.h"

namespace {

// Windows keeps at most 512 shadow copies of a volume.
const std::size_t MostStores = 512;
// The blocks all of a volume's stores may describe together, 64 GiB of old
// data: the maps take some 80 bytes a block while they are built.
const std::size_t MostMappedBlocks = std::size_t(1) << 22;

std::string StoreName(const unsigned char *guid)
{
    return "shadow copy store " + BracedGuidText(guid) + ": ";
}

// The volume holding the difference area and the locations its catalog
// gives; false with `fault` where it is not among `others` or cannot be read.
bool FindArea(const LowerVolume &volume, const VssVolumeHeader &header, const std::vector<LowerVolume> &others,
              std::vector<VssStoreLocation> &locations, LowerVolume &area, int &index, Fault &fault)
{
    area = volume;
    index = ShadowAreaHere;
    if (DifferenceAreaIsHere(header))
        return true;
    for (std::size_t at = 0; at < others.size(); ++at) {
        VssVolumeHeader other;
        std::uint32_t version = 0;
        if (!ReadVssVolumeHeader(others[at], other, version) || std::memcmp(other.volume, header.storage, GuidSize) != 0)
            continue;
        area = others[at];
        index = static_cast<int>(at);
        locations.clear();
        std::vector<VssStoreEntry> theirs;
        if (ReadVssCatalog(area, other.catalogAt, theirs, locations, fault))
            return true;
        fault.words = "shadow copy catalog of the difference area's volume: " + fault.words;
        return false;
    }
    fault.words = "the shadow copies' difference area lies on volume " + BracedGuidText(header.storage) +
                  ", which was not given";
    return false;
}

bool Older(const VssStoreEntry &a, const VssStoreEntry &b)
{
    return a.creationTime != b.creationTime ? a.creationTime < b.creationTime : a.sequence < b.sequence;
}

// One store's header, lists and, for the newest, bitmaps, into `set`.
bool OpenStore(const VssStoreEntry &entry, const std::vector<VssStoreLocation> &locations, bool newest,
               std::size_t &budget, ShadowStoreSet &set, ShadowStore &store, Fault &fault)
{
    auto location = std::find_if(locations.begin(), locations.end(), [&](const VssStoreLocation &l) {
        return std::memcmp(l.store, entry.store, GuidSize) == 0;
    });
    if (location == locations.end()) {
        fault.words = "its difference area has no entry in the catalog";
        return false;
    }
    if (entry.volumeSize == 0 || entry.volumeSize > set.volume.size) {
        fault.words = "its volume of " + std::to_string(entry.volumeSize) + " bytes does not fit the volume's " +
                      std::to_string(set.volume.size);
        return false;
    }
    VssStoreHeader header;
    if (!ReadVssStoreHeader(set.area, location->headerAt, header, fault) ||
        !CheckVssRangeList(set.area, location->rangeListAt, fault))
        return false;
    ShadowMapBuilder builder{entry.volumeSize, set.area.size, {}, {}};
    if (!ReadVssBlockList(set.area, location->blockListAt, budget, AddBlockDescriptor, &builder, fault))
        return false;
    set.maps.emplace_back();
    FinishBlockMap(builder, set.maps.back());
    set.sizes.push_back(entry.volumeSize);
    set.hasPrevious = location->previousBitmapAt != 0;
    if (newest && (!ReadVssStoreBitmap(set.area, location->bitmapAt, entry.volumeSize, set.bitmap, fault) ||
                   (set.hasPrevious &&
                    !ReadVssStoreBitmap(set.area, location->previousBitmapAt, entry.volumeSize, set.previous, fault))))
        return false;
    std::memcpy(store.identifier, entry.store, GuidSize);
    std::memcpy(store.copy, header.copy, GuidSize);
    store.creationTime = entry.creationTime;
    store.size = entry.volumeSize;
    return true;
}

} // namespace

bool ListShadowStores(const LowerVolume &volume, const std::vector<LowerVolume> &others,
                      std::vector<ShadowStore> &stores, Fault &fault)
{
    stores.clear();
    VssVolumeHeader header;
    std::uint32_t version = 0;
    if (!ReadVssVolumeHeader(volume, header, version)) {
        if (version != 0)
            fault.words = "shadow copies of a VSS volume header of version " + std::to_string(version) +
                          ", which is not read";
        return version == 0;
    }
    std::vector<VssStoreEntry> entries;
    std::vector<VssStoreLocation> locations;
    if (header.catalogAt != 0 && !ReadVssCatalog(volume, header.catalogAt, entries, locations, fault)) {
        fault.words = "shadow copy catalog: " + fault.words;
        return false;
    }
    if (entries.empty())
        return true;
    if (entries.size() > MostStores) {
        fault.words = "shadow copy catalog: " + std::to_string(entries.size()) + " stores, more than Windows keeps";
        return false;
    }
    std::stable_sort(entries.begin(), entries.end(), Older);
    auto *set = new ShadowStoreSet{volume, volume, {}, {}, {}, {}, false, {}, entries.size()};
    int area = ShadowAreaHere;
    bool read = FindArea(volume, header, others, locations, set->area, area, fault);
    std::size_t budget = MostMappedBlocks;
    for (std::size_t at = 0; read && at < entries.size(); ++at) {
        ShadowStore store{};
        store.area = area;
        for (std::size_t before = 0; before < at; ++before)
            if (std::memcmp(entries[before].store, entries[at].store, GuidSize) == 0) {
                fault.words = "listed twice in the catalog";
                read = false;
            }
        read = read && OpenStore(entries[at], locations, at + 1 == entries.size(), budget, *set, store, fault);
        if (!read)
            fault.words = StoreName(entries[at].store) + fault.words;
        stores.push_back(store);
    }
    if (!read) {
        stores.clear();
        delete set;
        return false;
    }
    set->views.reserve(stores.size());
    for (std::size_t at = 0; at < stores.size(); ++at) {
        set->views.push_back({set, at});
        stores[at].store = &set->views.back();
    }
    return true;
}

void CloseShadowStore(void *store)
{
    ShadowStoreSet *set = static_cast<ShadowStoreView *>(store)->set;
    if (--set->open == 0)
        delete set;
}

void CloseShadowStores(std::vector<ShadowStore> &stores)
{
    for (const ShadowStore &store : stores)
        if (store.store != nullptr)
            CloseShadowStore(store.store);
    stores.clear();
}
