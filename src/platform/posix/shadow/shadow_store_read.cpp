// Reading a store: a block it describes comes from its difference area, or
// is forwarded to another block read in the next store; a block it does not
// describe is the next store's, and after the newest store the volume's
// own. Overlays count only in the store being read.
#include <algorithm>
#include <cstring>

#include "platform/posix/shadow/shadow_store_set.h"
#include "platform/posix/shadow/shadow_stores.h"
#include "platform/posix/shadow/vss_block_header.h"
#include "platform/posix/shadow/vss_store_bitmap.h"

namespace {

// Bytes from `within` on in the block whose overlay bit is the same as its
// own, at most `size`; `set` says which it is.
std::size_t OverlayRun(std::uint32_t sectors, std::size_t within, std::size_t size, bool &set)
{
    std::size_t sector = within / VssOverlaySector;
    set = (sectors >> sector & 1) != 0;
    std::size_t end = sector + 1;
    while (end < VssBlockSize / VssOverlaySector && ((sectors >> end & 1) != 0) == set)
        ++end;
    return std::min(size, end * VssOverlaySector - within);
}

// The volume as it is now; zeros past its end, where a store's volume was larger.
bool ReadCurrent(const LowerVolume &volume, std::uint64_t offset, char *buffer, std::size_t size)
{
    std::size_t inside = offset >= volume.size ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(size, volume.size - offset));
    std::memset(buffer + inside, 0, size - inside);
    return inside == 0 || ReadVolumeBytes(volume, offset, buffer, inside);
}

// Reads from `offset` on, within one block, as store `active` has it; the
// count read (an overlay may end it early), 0 on a failed read.
std::size_t ReadPiece(const ShadowStoreSet &set, std::size_t active, std::uint64_t offset, char *buffer,
                      std::size_t size)
{
    std::uint64_t where = offset;
    // Each turn goes on to a later store: at most one turn a store.
    for (std::size_t store = active; store < set.maps.size(); ++store) {
        const ShadowBlock *block = FindShadowBlock(set.maps[store], where);
        const std::size_t within = static_cast<std::size_t>(where % VssBlockSize);
        if (block != nullptr && block->hasOverlay && store == active) {
            bool overlaid = false;
            size = OverlayRun(block->overlaySectors, within, size, overlaid);
            if (overlaid)
                return ReadVolumeBytes(set.area, block->overlay + within, buffer, size) ? size : 0;
        }
        if (block == nullptr || block->kind == ShadowBlockOverlayOnly) {
            const bool newest = store + 1 == set.maps.size();
            if (newest && store == active && !IsForwardedTo(set.maps[store], where) &&
                IsBlockFree(set.bitmap, where) && (!set.hasPrevious || IsBlockFree(set.previous, where))) {
                std::memset(buffer, 0, size);
                return size;
            }
            continue;
        }
        if (block->kind == ShadowBlockCopied)
            return ReadVolumeBytes(set.area, block->source + within, buffer, size) ? size : 0;
        where = block->source + within;
    }
    return ReadCurrent(set.volume, where, buffer, size) ? size : 0;
}

} // namespace

ssize_t ReadShadowStore(void *store, std::uint64_t offset, char *buffer, std::size_t size)
{
    const ShadowStoreView &view = *static_cast<const ShadowStoreView *>(store);
    const std::uint64_t end = view.set->sizes[view.index];
    std::size_t done = 0;
    while (offset < end && done < size && done < end - offset) {
        const std::uint64_t at = offset + done;
        std::size_t piece = std::min<std::uint64_t>({size - done, VssBlockSize - at % VssBlockSize, end - at});
        std::size_t got = ReadPiece(*view.set, view.index, at, buffer + done, piece);
        if (got == 0)
            return -1;
        done += got;
    }
    return static_cast<ssize_t>(done);
}
