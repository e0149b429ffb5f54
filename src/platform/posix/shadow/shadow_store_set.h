// What ListShadowStores builds for one volume and ReadShadowStore reads.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/shadow/shadow_block_map.h"
#include "platform/posix/base/lower_volume.h"

struct ShadowStoreSet;

// What a ShadowStore's `store` points to.
struct ShadowStoreView {
    ShadowStoreSet *set;
    std::size_t index; // in `maps`
};

struct ShadowStoreSet {
    LowerVolume volume; // the copied volume, as it is now
    LowerVolume area;   // the volume holding the difference area
    std::vector<ShadowBlockMap> maps;  // oldest first
    std::vector<std::uint64_t> sizes;  // each store's volume size
    // The newest store's bitmaps, which only it reads.
    std::vector<unsigned char> bitmap, previous;
    bool hasPrevious;
    std::vector<ShadowStoreView> views; // never grown once handed out
    std::size_t open;                   // views not yet closed
};
