// Any bytes as a volume's shadow copy structures: ListShadowStores must
// refuse with one line, or give stores every read of which succeeds. The
// input is 16 KiB blocks: the first is the volume's start (its VSS header
// at 0x1e00), each other lies where its own header says it does (its
// current offset), and the rest of the 1 GiB volume reads as zeros.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/shadow/shadow_stores.h"

namespace {

const std::size_t Block = 0x4000;

struct FuzzVolume {
    const std::uint8_t *data;
    std::map<std::uint64_t, std::size_t> blocks; // volume offset -> input offset
};

ssize_t ReadFuzz(void *volume, std::uint64_t offset, char *buffer, std::size_t size)
{
    const FuzzVolume &self = *static_cast<FuzzVolume *>(volume);
    std::size_t piece = std::min(size, Block - static_cast<std::size_t>(offset % Block));
    auto found = self.blocks.find(offset - offset % Block);
    if (found == self.blocks.end())
        std::memset(buffer, 0, piece);
    else
        std::memcpy(buffer, self.data + found->second + offset % Block, piece);
    return static_cast<ssize_t>(piece);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzVolume fuzz{data, {}};
    for (std::size_t at = 0; at + Block <= size; at += Block)
        fuzz.blocks.emplace(at == 0 ? 0 : ReadLe64(data + at + 32) / Block * Block, at);
    LowerVolume volume{&fuzz, ReadFuzz, 1ULL << 30};
    std::vector<ShadowStore> stores;
    Fault fault;
    // The volume is also the "other": a difference area named elsewhere is looked for in it.
    if (!ListShadowStores(volume, {volume}, stores, fault)) {
        if (fault.words.empty() || fault.words.find('\n') != std::string::npos || !stores.empty())
            std::abort();
        return 0;
    }
    std::vector<char> buffer(65536);
    for (const ShadowStore &store : stores)
        for (std::uint64_t at = 0; at < store.size; at += store.size / 16 + 1) {
            ssize_t want = static_cast<ssize_t>(std::min<std::uint64_t>(buffer.size(), store.size - at));
            if (ReadShadowStore(store.store, at, buffer.data(), buffer.size()) != want)
                std::abort(); // every block was checked against its volume: reads must succeed
        }
    CloseShadowStores(stores);
    return 0;
}
