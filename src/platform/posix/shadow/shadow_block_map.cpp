#include "platform/posix/shadow/shadow_block_map.h"

#include <algorithm>

#include "platform/posix/shadow/vss_block_header.h"

namespace {

bool InBlocks(std::uint64_t offset, std::uint64_t size)
{
    return offset % VssBlockSize == 0 && offset < size && VssBlockSize <= size - offset;
}

bool CheckDescriptor(const ShadowMapBuilder &builder, const VssBlockDescriptor &d, bool forwarder, Fault &fault)
{
    std::string what;
    if (!InBlocks(d.original, builder.volumeSize))
        what = "it lies off a block's start or past the volume's end";
    else if (forwarder && (d.data != 0 || !InBlocks(d.relative, builder.volumeSize)))
        what = "a forwarder to " + HexOffset(d.relative) + " names no block of the volume";
    else if (!forwarder &&
             (d.data % VssOverlaySector != 0 || d.data > builder.areaSize || VssBlockSize > builder.areaSize - d.data))
        what = "its copy at " + HexOffset(d.data) + " lies past the difference area's volume";
    if (what.empty())
        return true;
    fault.words = "block list descriptor of block " + HexOffset(d.original) + ": " + what;
    return false;
}

} // namespace

bool AddBlockDescriptor(void *taker, const VssBlockDescriptor &descriptor, Fault &fault)
{
    ShadowMapBuilder &builder = *static_cast<ShadowMapBuilder *>(taker);
    if ((descriptor.flags & VssBlockNotUsed) != 0)
        return true;
    const bool overlay = (descriptor.flags & VssBlockOverlay) != 0;
    const bool forwarder = !overlay && (descriptor.flags & VssBlockForwarder) != 0;
    if (!CheckDescriptor(builder, descriptor, forwarder, fault))
        return false;
    std::uint64_t original = descriptor.original;
    // A block an earlier forwarder pointed at, copied now: the forwarder's
    // block takes the copy, and the forwarding is spent.
    auto pointed = overlay ? builder.forwarders.end() : builder.forwarders.find(original);
    if (pointed != builder.forwarders.end()) {
        original = pointed->second;
        builder.forwarders.erase(pointed);
    }
    if (forwarder && original == descriptor.relative)
        return true; // forwarded to itself: nothing moves
    auto found = builder.blocks.find(original);
    if (overlay) {
        if (found == builder.blocks.end()) {
            builder.blocks[original] = {original, 0, descriptor.data, descriptor.sectors, ShadowBlockOverlayOnly, true};
        } else if (found->second.hasOverlay) {
            found->second.overlaySectors |= descriptor.sectors; // more sectors of the same overlay
        } else {
            found->second.overlay = descriptor.data;
            found->second.overlaySectors = descriptor.sectors;
            found->second.hasOverlay = true;
        }
        return true;
    }
    ShadowBlock &block = builder.blocks[original];
    const bool had = found != builder.blocks.end();
    block.original = original;
    block.kind = forwarder ? ShadowBlockForwarded : ShadowBlockCopied;
    block.source = forwarder ? descriptor.relative : descriptor.data;
    if (!had)
        block.overlay = 0, block.overlaySectors = 0, block.hasOverlay = false; // else an earlier overlay stays
    if (forwarder)
        builder.forwarders[descriptor.relative] = original;
    return true;
}

void FinishBlockMap(ShadowMapBuilder &builder, ShadowBlockMap &map)
{
    map.blocks.clear();
    map.blocks.reserve(builder.blocks.size());
    for (const auto &entry : builder.blocks)
        map.blocks.push_back(entry.second);
    builder.blocks.clear();
    map.forwarded.clear();
    for (const auto &entry : builder.forwarders)
        map.forwarded.push_back(entry.first);
    builder.forwarders.clear();
}

const ShadowBlock *FindShadowBlock(const ShadowBlockMap &map, std::uint64_t offset)
{
    const std::uint64_t start = offset - offset % VssBlockSize;
    auto found = std::lower_bound(map.blocks.begin(), map.blocks.end(), start,
                                  [](const ShadowBlock &block, std::uint64_t at) { return block.original < at; });
    return found != map.blocks.end() && found->original == start ? &*found : nullptr;
}

bool IsForwardedTo(const ShadowBlockMap &map, std::uint64_t offset)
{
    return std::binary_search(map.forwarded.begin(), map.forwarded.end(), offset - offset % VssBlockSize);
}
