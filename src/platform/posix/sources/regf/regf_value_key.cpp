#include "platform/posix/sources/regf/regf_value_key.h"

#include "platform/posix/base/byte_order.h"

namespace {

// Offsets read at once.
constexpr std::size_t kBatch = 64;

struct Search {
    RegfReader *hive;
    const std::uint16_t *name;
    std::size_t count;
    RegfValue *value;
    bool found;
};

bool Consider(void *context, const RegfValue &value)
{
    Search &search = *static_cast<Search *>(context);
    bool equal = false;
    if (!RegfNameMatches(*search.hive, value.name, search.name, search.count, equal))
        return false;
    if (equal) {
        *search.value = value;
        search.found = true;
    }
    return !equal;
}

} // namespace

bool RegfReadValueKey(RegfReader &hive, std::uint32_t offset, RegfValue &value)
{
    unsigned char head[kRegfValueNameAt + kRegfNameKept];
    std::size_t got = 0;
    value = RegfValue();
    if (!RegfLoadRecord(hive, offset, "vk", RegfFaultKind::NotValueKey, head, kRegfValueNameAt, value.cell,
                        kRegfNameKept, &got))
        return false;
    std::uint32_t size = ReadLe32(head + kRegfValueDataSizeAt);
    value.inlineData = (size & kRegfValueDataInline) != 0;
    value.dataSize = size & ~kRegfValueDataInline;
    value.data = ReadLe32(head + kRegfValueDataAt);
    value.type = ReadLe32(head + kRegfValueTypeAt);
    bool compressed = (ReadLe16(head + kRegfValueFlagsAt) & kRegfValueCompressedName) != 0;
    return RegfPlaceName(hive, value.cell, kRegfValueNameAt, ReadLe16(head + kRegfValueNameSizeAt), compressed,
                         head, got, value.name);
}

bool RegfForEachValue(RegfReader &hive, const RegfKey &key, RegfValueVisit visit, void *context)
{
    if (key.valueCount == 0)
        return true;
    RegfCell list;
    if (!RegfLoadCell(hive, key.valueList, list))
        return false;
    if (static_cast<std::uint64_t>(key.valueCount) * kRegfValueListElementSize > list.size)
        return RegfFail(hive, RegfFaultKind::CountPastCell, key.valueList);
    unsigned char batch[kBatch * kRegfValueListElementSize];
    for (std::uint32_t done = 0; done < key.valueCount; done += kBatch) {
        std::uint32_t take = key.valueCount - done < kBatch ? key.valueCount - done : kBatch;
        if (!RegfReadCell(hive, list, done * kRegfValueListElementSize, batch, take * kRegfValueListElementSize))
            return false;
        for (std::uint32_t i = 0; i < take; ++i) {
            RegfValue value;
            if (!RegfReadValueKey(hive, ReadLe32(batch + i * kRegfValueListElementSize), value))
                return false;
            if (!visit(context, value))
                return hive.fault.kind == RegfFaultKind::None;
        }
    }
    return true;
}

bool RegfFindValue(RegfReader &hive, const RegfKey &key, const std::uint16_t *name, std::size_t count,
                   RegfValue &value)
{
    Search search = {&hive, name, count, &value, false};
    return RegfForEachValue(hive, key, Consider, &search) && search.found;
}
