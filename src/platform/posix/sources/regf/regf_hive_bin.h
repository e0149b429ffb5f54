// The hive bins after the base block: each bin a header and cells, each cell
// its size (negative while in use) and then its record.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kRegfHiveBinHeaderSize = 32;
constexpr std::size_t kRegfHiveBinSignatureAt = 0; // "hbin"
constexpr std::size_t kRegfHiveBinOffsetAt = 4;    // its own offset in the bins
constexpr std::size_t kRegfHiveBinSizeAt = 8;      // a multiple of 4096

constexpr std::size_t kRegfCellSizeAt = 0;      // signed 32 bits
constexpr std::size_t kRegfCellSignatureAt = 4; // "nk" for a key
constexpr std::size_t kRegfCellDataAt = 4;      // the record, after the size
constexpr std::uint32_t kRegfCellAlignment = 8; // cell offsets and sizes
constexpr std::uint32_t kRegfNoCell = 0xFFFFFFFFu; // an offset that points nowhere
