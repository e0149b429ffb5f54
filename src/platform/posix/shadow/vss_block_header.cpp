#include "platform/posix/shadow/vss_block_header.h"

#include <cstdio>
#include <cstring>

#include "platform/posix/base/byte_order.h"

std::string HexOffset(std::uint64_t offset)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(offset));
    return text;
}

bool ReadVssBlock(const LowerVolume &volume, std::uint64_t offset, std::uint32_t record, const char *what,
                  unsigned char *block, Fault &fault)
{
    const std::string where = std::string(what) + " block at " + HexOffset(offset);
    if (offset % 512 != 0 || !ReadVolumeBytes(volume, offset, block, VssBlockSize)) {
        fault.words = where + " lies past the volume's end or cannot be read";
        return false;
    }
    if (std::memcmp(block + VssIdentifierAt, VssIdentifier, sizeof VssIdentifier) != 0 ||
        ReadLe32(block + VssVersionAt) != VssBlockVersion || ReadLe32(block + VssRecordTypeAt) != record) {
        fault.words = where + " is not one (no VSS block of record type " + std::to_string(record) + " there)";
        return false;
    }
    if (ReadLe64(block + VssCurrentOffsetAt) != offset) {
        fault.words = where + " names another offset as its own, " + HexOffset(ReadLe64(block + VssCurrentOffsetAt));
        return false;
    }
    return true;
}

bool ReadNextVssBlock(VssChain &chain, unsigned char *block, Fault &fault)
{
    const std::uint64_t offset = chain.next;
    if (!chain.seen.insert(offset).second) {
        fault.words = std::string(chain.what) + " comes round again to its block at " + HexOffset(offset);
        return false;
    }
    if (chain.seen.size() > chain.most) {
        fault.words = std::string(chain.what) + " runs on past " + std::to_string(chain.most) + " blocks";
        return false;
    }
    if (!ReadVssBlock(*chain.volume, offset, chain.record, chain.what, block, fault))
        return false;
    chain.next = ReadLe64(block + VssNextOffsetAt);
    return true;
}
