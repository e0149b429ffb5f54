// Value keys ("vk") and the key's value list that holds their offsets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/sources/regf/regf_key_node.h"

constexpr std::size_t kRegfValueSignatureAt = 0; // "vk"
constexpr std::size_t kRegfValueNameSizeAt = 2;
constexpr std::size_t kRegfValueDataSizeAt = 4;
constexpr std::size_t kRegfValueDataAt = 8; // a cell offset, or the data itself
constexpr std::size_t kRegfValueTypeAt = 12;
constexpr std::size_t kRegfValueFlagsAt = 16;
constexpr std::size_t kRegfValueNameAt = 20;
constexpr std::uint16_t kRegfValueCompressedName = 0x0001;
constexpr std::uint32_t kRegfValueDataInline = 0x80000000u; // in the data size
constexpr std::size_t kRegfValueListElementSize = 4;

struct RegfValue {
    RegfCell cell;
    std::uint32_t type = 0;
    std::uint32_t dataSize = 0; // without the inline bit
    std::uint32_t data = 0;     // the field as stored
    bool inlineData = false;
    RegfName name; // empty for the default value
};

bool RegfReadValueKey(RegfReader &hive, std::uint32_t offset, RegfValue &value);

// Called for each value in the list's order; returns false to stop.
typedef bool (*RegfValueVisit)(void *context, const RegfValue &value);

bool RegfForEachValue(RegfReader &hive, const RegfKey &key, RegfValueVisit visit, void *context);

// The value named `name` (UTF-16 units, any case; none for the default);
// false when there is none or on a fault (then hive.fault says which).
bool RegfFindValue(RegfReader &hive, const RegfKey &key, const std::uint16_t *name, std::size_t count,
                   RegfValue &value);
