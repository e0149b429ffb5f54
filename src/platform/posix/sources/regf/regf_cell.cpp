#include "platform/posix/sources/regf/regf_cell.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/sources/regf/regf_base_block.h"
#include "platform/posix/sources/regf/regf_hive_bin.h"

namespace {

// The most record bytes read with a cell's size: a key node's fixed part
// and the start of its name.
constexpr std::size_t kRegfLargestHead = 160;

bool ReadBins(RegfReader &hive, std::uint32_t at, void *buffer, std::size_t size)
{
    if (!hive.bytes->ReadAt(kRegfBaseBlockSize + static_cast<std::uint64_t>(at), buffer, size))
        return RegfFail(hive, RegfFaultKind::ReadFailed, at);
    return true;
}

// The bin header at `start`, if a sound one is there.
bool SoundBinAt(RegfReader &hive, std::uint32_t start, RegfBin &bin)
{
    unsigned char header[kRegfHiveBinHeaderSize];
    if (!ReadBins(hive, start, header, sizeof header))
        return false;
    std::uint32_t size = ReadLe32(header + kRegfHiveBinSizeAt);
    if (std::memcmp(header + kRegfHiveBinSignatureAt, "hbin", 4) != 0 ||
        ReadLe32(header + kRegfHiveBinOffsetAt) != start || size == 0 || size % kRegfHiveBinAlignment != 0 ||
        size > hive.binsSize - start)
        return false;
    bin.start = start;
    bin.size = size;
    return true;
}

// The bin holding `offset`: bins start on 4096-byte boundaries, so the
// nearest sound header at or before it whose size reaches over it.
bool FindBin(RegfReader &hive, std::uint32_t offset, RegfBin &bin)
{
    for (const RegfBin &known : hive.bins)
        if (known.size != 0 && offset >= known.start && offset - known.start < known.size) {
            bin = known;
            return true;
        }
    for (std::uint32_t start = offset - offset % kRegfHiveBinAlignment;; start -= kRegfHiveBinAlignment) {
        RegfBin found;
        if (SoundBinAt(hive, start, found)) {
            if (offset - start >= found.size)
                break;
            bin = hive.bins[hive.nextBin++ % kRegfBinsRemembered] = found;
            return true;
        }
        if (hive.fault.kind != RegfFaultKind::None || start == 0)
            break;
    }
    return RegfFail(hive, RegfFaultKind::NoHiveBin, offset);
}

// The allocated cell at `offset`, and with its size, in the same read, up to
// `want` bytes of its record: `filled` says how many the cell holds.
bool LoadCell(RegfReader &hive, std::uint32_t offset, RegfCell &cell, unsigned char *head, std::size_t want,
              std::size_t &filled)
{
    filled = 0;
    if (offset >= hive.binsSize || hive.binsSize - offset < kRegfCellAlignment)
        return RegfFail(hive, RegfFaultKind::OffsetPastBins, offset);
    if (offset % kRegfCellAlignment != 0)
        return RegfFail(hive, RegfFaultKind::OffsetMisaligned, offset);
    RegfBin bin;
    if (!FindBin(hive, offset, bin))
        return false;
    if (offset - bin.start < kRegfHiveBinHeaderSize)
        return RegfFail(hive, RegfFaultKind::NoHiveBin, offset);
    unsigned char bytes[kRegfCellDataAt + kRegfLargestHead];
    std::size_t room = bin.start + bin.size - offset, take = kRegfCellDataAt + (want <= kRegfLargestHead ? want : 0);
    if (take > room)
        take = room;
    // What follows the cell may lie past the end of a file cut short: then the size alone.
    if (!hive.bytes->ReadAt(kRegfBaseBlockSize + static_cast<std::uint64_t>(offset), bytes, take)) {
        take = kRegfCellDataAt;
        if (!ReadBins(hive, offset + kRegfCellSizeAt, bytes, take))
            return false;
    }
    std::int32_t stored = static_cast<std::int32_t>(ReadLe32(bytes));
    if (stored > 0)
        return RegfFail(hive, RegfFaultKind::CellFree, offset);
    std::uint32_t size = 0u - static_cast<std::uint32_t>(stored);
    if (stored == 0 || size < kRegfCellAlignment || size % kRegfCellAlignment != 0)
        return RegfFail(hive, RegfFaultKind::CellSizeInvalid, offset);
    if (size > bin.size - (offset - bin.start))
        return RegfFail(hive, RegfFaultKind::CellPastBin, offset);
    cell.offset = offset;
    cell.size = size - kRegfCellDataAt;
    filled = take - kRegfCellDataAt < cell.size ? take - kRegfCellDataAt : cell.size;
    if (filled > 0)
        std::memcpy(head, bytes + kRegfCellDataAt, filled);
    return true;
}

} // namespace

bool RegfFail(RegfReader &hive, RegfFaultKind kind, std::uint32_t offset)
{
    if (hive.fault.kind == RegfFaultKind::None) {
        hive.fault.kind = kind;
        hive.fault.offset = offset;
    }
    return false;
}

void RegfClearFault(RegfReader &hive)
{
    hive.fault = RegfFault();
}

bool RegfOpenHive(const HiveBytes &bytes, RegfReader &hive)
{
    hive = RegfReader();
    hive.bytes = &bytes;
    unsigned char block[kRegfSectorSize];
    RegfBaseBlock base;
    if (!bytes.ReadAt(0, block, sizeof block))
        return RegfFail(hive, RegfFaultKind::ReadFailed, 0);
    if (!ReadRegfBaseBlock(block, sizeof block, base) || !base.signatureValid || base.majorVersion != 1)
        return RegfFail(hive, RegfFaultKind::NotAHive, 0);
    if (base.hiveBinsSize == 0 || base.hiveBinsSize % kRegfHiveBinAlignment != 0)
        return RegfFail(hive, RegfFaultKind::BinsSizeInvalid, 0);
    hive.binsSize = base.hiveBinsSize;
    hive.minorVersion = base.minorVersion;
    hive.rootCell = ReadLe32(block + kRegfRootCellAt);
    return true;
}

bool RegfLoadCell(RegfReader &hive, std::uint32_t offset, RegfCell &cell)
{
    std::size_t filled = 0;
    return LoadCell(hive, offset, cell, nullptr, 0, filled);
}

bool RegfReadCell(RegfReader &hive, const RegfCell &cell, std::uint32_t at, void *buffer, std::size_t size,
                  RegfFaultKind past)
{
    if (at > cell.size || size > cell.size - at)
        return RegfFail(hive, past, cell.offset);
    if (size == 0)
        return true;
    return ReadBins(hive, cell.offset + kRegfCellDataAt + at, buffer, size);
}

bool RegfLoadRecord(RegfReader &hive, std::uint32_t offset, const char *signature, RegfFaultKind wrong,
                    unsigned char *head, std::size_t fixedSize, RegfCell &cell, std::size_t extra, std::size_t *got)
{
    std::size_t filled = 0;
    if (!LoadCell(hive, offset, cell, head, fixedSize + extra, filled))
        return false;
    if (cell.size < 2)
        return RegfFail(hive, wrong, offset);
    if (filled < fixedSize && filled < cell.size) {
        filled = cell.size < fixedSize ? 2 : fixedSize;
        if (!RegfReadCell(hive, cell, 0, head, filled))
            return false;
    }
    if (got != nullptr)
        *got = filled;
    if (std::memcmp(head, signature, 2) != 0)
        return RegfFail(hive, wrong, offset);
    return cell.size >= fixedSize || RegfFail(hive, RegfFaultKind::RecordPastCell, offset);
}
