#include "platform/posix/image/vmdk_sparse.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/image/vmdk_grain_table.h"
#include "platform/posix/image/vmdk_sparse_header.h"

namespace {

// Above this the capacity in bytes no longer fits 64 bits.
const std::uint64_t MaxCapacitySectors = 1ULL << 54;

// Reads `count` entries at sector `sector` of the extent; false where they
// lie past the end of the file or cannot be read.
bool ReadEntries(const VmdkSparseExtent &extent, std::uint64_t sector, std::uint64_t count,
                 std::vector<std::uint32_t> &entries)
{
    if (sector > extent.fileSize / VmdkSectorSize || count > extent.fileSize / VmdkGrainEntrySize ||
        sector * VmdkSectorSize > extent.fileSize - count * VmdkGrainEntrySize)
        return false;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(count * VmdkGrainEntrySize));
    if (!bytes.empty() && !ReadExactlyAt(extent.fd, bytes.data(), bytes.size(), sector * VmdkSectorSize))
        return false;
    entries.resize(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i)
        entries[i] = ReadLe32(&bytes[i * VmdkGrainEntrySize]);
    return true;
}

} // namespace

VmdkExtentKind ReadVmdkSparseExtent(int fd, const std::string &name, VmdkSparseExtent &extent, Fault &fault)
{
    unsigned char header[VmdkSparseHeaderSize];
    struct stat info;
    if (fstat(fd, &info) != 0 || !ReadExactlyAt(fd, header, sizeof header, 0) ||
        std::memcmp(header, VmdkSparseMagic, sizeof VmdkSparseMagic) != 0)
        return VmdkExtentKind::Other;
    const std::uint32_t version = ReadLe32(header + VmdkVersionAt), flags = ReadLe32(header + VmdkFlagsAt);
    const std::uint64_t directoryAt = ReadLe64(header + VmdkGrainDirectoryAt);
    if ((flags & (VmdkFlagCompressedGrains | VmdkFlagMarkers)) != 0 || directoryAt == VmdkGrainDirectoryAtEnd)
        return VmdkExtentKind::Other;
    const std::uint64_t capacity = ReadLe64(header + VmdkCapacityAt), grain = ReadLe64(header + VmdkGrainSizeAt);
    extent.fd = fd;
    extent.fileSize = static_cast<std::uint64_t>(info.st_size);
    extent.perTable = ReadLe32(header + VmdkGrainTableEntriesAt);
    extent.zeroedGrains = (flags & VmdkFlagZeroedGrain) != 0;
    extent.tables.clear();
    const std::string extentOf = "VMDK sparse extent ";
    if (version == 0 || version > VmdkMaxVersion) {
        fault = {name, extentOf + "of version " + std::to_string(version) + ", which is not read"};
        return VmdkExtentKind::Damaged;
    }
    if (grain == 0 || grain > VmdkMaxGrainSectors || extent.perTable == 0 ||
        extent.perTable > VmdkMaxGrainTableEntries || capacity > MaxCapacitySectors) {
        fault = {name, extentOf + "whose grain, grain table and capacity sizes do not fit together"};
        return VmdkExtentKind::Damaged;
    }
    extent.capacity = capacity * VmdkSectorSize;
    extent.grainBytes = grain * VmdkSectorSize;
    const std::uint64_t grains = capacity / grain + (capacity % grain != 0);
    const std::uint64_t tables = grains / extent.perTable + (grains % extent.perTable != 0);
    if (!ReadEntries(extent, directoryAt, tables, extent.directory)) {
        fault = {name, extentOf + "whose grain directory lies past the end of the file (cut short or damaged)"};
        return VmdkExtentKind::Damaged;
    }
    return VmdkExtentKind::Sparse;
}

bool FindVmdkGrain(VmdkSparseExtent &extent, std::uint64_t offset, VmdkGrain &state, std::uint64_t &at,
                   std::uint64_t &run)
{
    const std::uint64_t grain = offset / extent.grainBytes, within = offset % extent.grainBytes;
    const std::uint64_t index = grain / extent.perTable;
    run = std::min(extent.grainBytes - within, extent.capacity - offset);
    state = VmdkGrain::Absent;
    if (index >= extent.directory.size() || extent.directory[index] == VmdkGrainAbsent)
        return true;
    auto found = extent.tables.find(index);
    if (found == extent.tables.end()) {
        std::vector<std::uint32_t> table;
        if (!ReadEntries(extent, extent.directory[index], extent.perTable, table))
            return false;
        found = extent.tables.emplace(index, std::move(table)).first;
    }
    const std::uint32_t entry = found->second[grain % extent.perTable];
    if (entry == VmdkGrainAbsent)
        return true;
    if (entry == VmdkGrainZeroed && extent.zeroedGrains) {
        state = VmdkGrain::Zeroed;
        return true;
    }
    // The grain's data must lie wholly in the file, as far as the read needs it.
    const std::uint64_t start = static_cast<std::uint64_t>(entry) * VmdkSectorSize;
    if (start > extent.fileSize || within + run > extent.fileSize - start)
        return false;
    state = VmdkGrain::Data;
    at = start + within;
    return true;
}
