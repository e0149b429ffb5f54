// Value data: kept in the value key itself (up to 4 bytes), in one cell, or,
// from format 1.4 on and past one segment's size, in big data ("db"): a list
// of segment cells, each full but the last.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/sources/regf/regf_value_key.h"

constexpr std::size_t kRegfBigDataSignatureAt = 0; // "db"
constexpr std::size_t kRegfBigDataCountAt = 2;
constexpr std::size_t kRegfBigDataListAt = 4;
constexpr std::size_t kRegfBigDataHeadSize = 8;
constexpr std::size_t kRegfBigDataElementSize = 4;
constexpr std::uint32_t kRegfBigDataSegmentSize = 16344;
constexpr std::uint32_t kRegfBigDataFromMinor = 4;
constexpr std::uint32_t kRegfInlineDataSize = 4;

// The value's data: up to `capacity` bytes into `buffer`, `size` its whole length.
bool RegfReadValueData(RegfReader &hive, const RegfValue &value, unsigned char *buffer, std::size_t capacity,
                       std::size_t &size);
