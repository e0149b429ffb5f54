// The 64-bit keyed hash that guards each new-format log entry.
#pragma once

#include <cstddef>
#include <cstdint>

// The key the hive writer hashes its log entries with, as one 64-bit number:
// its low half starts the first lane, its high half the second.
constexpr std::uint64_t kRegfLogEntrySeed = 0x82EF4D887A4E55C5ull;

// The hash of `size` bytes, the second lane in the high half as a log entry
// stores it (little-endian, eight bytes).
std::uint64_t Marvin32(const unsigned char *data, std::size_t size, std::uint64_t seed);
