#include "platform/posix/sources/regf/regf_big_data.h"

#include "platform/posix/base/byte_order.h"

namespace {

// Segment offsets read at once.
constexpr std::size_t kBatch = 64;

std::size_t Least(std::size_t a, std::size_t b)
{
    return a < b ? a : b;
}

bool ReadSegments(RegfReader &hive, const RegfValue &value, unsigned char *buffer, std::size_t capacity)
{
    unsigned char head[kRegfBigDataHeadSize];
    RegfCell db, list;
    if (!RegfLoadRecord(hive, value.data, "db", RegfFaultKind::NotBigData, head, sizeof head, db))
        return false;
    std::uint32_t count = ReadLe16(head + kRegfBigDataCountAt);
    std::uint32_t needed = (value.dataSize + kRegfBigDataSegmentSize - 1) / kRegfBigDataSegmentSize;
    if (count != needed)
        return RegfFail(hive, RegfFaultKind::BigDataSegments, value.data);
    std::uint32_t listAt = ReadLe32(head + kRegfBigDataListAt);
    if (!RegfLoadCell(hive, listAt, list))
        return false;
    if (static_cast<std::uint64_t>(count) * kRegfBigDataElementSize > list.size)
        return RegfFail(hive, RegfFaultKind::CountPastCell, listAt);
    unsigned char batch[kBatch * kRegfBigDataElementSize];
    std::size_t done = 0;
    for (std::uint32_t first = 0; first < count && done < capacity; first += kBatch) {
        std::uint32_t take = count - first < kBatch ? count - first : kBatch;
        if (!RegfReadCell(hive, list, first * kRegfBigDataElementSize, batch, take * kRegfBigDataElementSize))
            return false;
        for (std::uint32_t i = 0; i < take && done < capacity; ++i) {
            RegfCell segment;
            std::size_t part = Least(value.dataSize - done, kRegfBigDataSegmentSize);
            if (!RegfLoadCell(hive, ReadLe32(batch + i * kRegfBigDataElementSize), segment))
                return false;
            if (part > segment.size)
                return RegfFail(hive, RegfFaultKind::DataPastCell, segment.offset);
            if (!RegfReadCell(hive, segment, 0, buffer + done, Least(part, capacity - done)))
                return false;
            done += part;
        }
    }
    return true;
}

} // namespace

bool RegfReadValueData(RegfReader &hive, const RegfValue &value, unsigned char *buffer, std::size_t capacity,
                       std::size_t &size)
{
    size = value.dataSize;
    if (value.inlineData) {
        if (value.dataSize > kRegfInlineDataSize)
            return RegfFail(hive, RegfFaultKind::InlineDataTooLong, value.cell.offset);
        unsigned char field[kRegfInlineDataSize];
        WriteLe32(field, value.data);
        for (std::size_t i = 0; i < size && i < capacity; ++i)
            buffer[i] = field[i];
        return true;
    }
    if (size == 0)
        return true;
    if (hive.minorVersion >= kRegfBigDataFromMinor && size > kRegfBigDataSegmentSize)
        return ReadSegments(hive, value, buffer, capacity);
    RegfCell cell;
    if (!RegfLoadCell(hive, value.data, cell))
        return false;
    if (size > cell.size)
        return RegfFail(hive, RegfFaultKind::DataPastCell, value.data);
    return RegfReadCell(hive, cell, 0, buffer, Least(size, capacity));
}
