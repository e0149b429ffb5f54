// One store's blocks as its block list leaves them, built on open: for
// each 16 KiB block of the copied volume that the store describes, where
// its old bytes are.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/posix/shadow/vss_block_list.h"

const std::uint8_t ShadowBlockOverlayOnly = 0; // only its overlay's sectors are the store's
const std::uint8_t ShadowBlockCopied = 1;      // `source` is in the difference area
const std::uint8_t ShadowBlockForwarded = 2;   // `source` is read in the next store, or the volume after the last

struct ShadowBlock {
    std::uint64_t original; // a multiple of 16 KiB
    std::uint64_t source;
    std::uint64_t overlay;  // the overlay's bytes in the difference area
    std::uint32_t overlaySectors;
    std::uint8_t kind;
    bool hasOverlay;
};

struct ShadowBlockMap {
    std::vector<ShadowBlock> blocks;      // by `original`
    std::vector<std::uint64_t> forwarded; // blocks the store's forwarders read, sorted
};

// What the block list's descriptors build, in the list's order.
struct ShadowMapBuilder {
    std::uint64_t volumeSize; // the copied volume's, as the store has it
    std::uint64_t areaSize;   // the volume holding the difference area
    std::map<std::uint64_t, ShadowBlock> blocks;
    std::map<std::uint64_t, std::uint64_t> forwarders; // target block -> the forwarder's own block
};

// A TakeDescriptor for a ShadowMapBuilder: refuses a descriptor whose
// offsets lie outside their volumes or off a block's start.
bool AddBlockDescriptor(void *builder, const VssBlockDescriptor &descriptor, Fault &fault);

// The builder's blocks into `map`, the builder emptied.
void FinishBlockMap(ShadowMapBuilder &builder, ShadowBlockMap &map);

// The block holding `offset`; null where the store does not describe it.
const ShadowBlock *FindShadowBlock(const ShadowBlockMap &map, std::uint64_t offset);
bool IsForwardedTo(const ShadowBlockMap &map, std::uint64_t offset);
