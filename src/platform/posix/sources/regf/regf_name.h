// Key and value names as a hive stores them: 8-bit (Latin-1, the "compressed"
// form) or UTF-16LE, compared as Windows compares them, by upper case.
//
// Upper case here is a fixed mapping, not the system's table: ASCII a-z;
// Latin-1 (U+00E0-U+00FE but U+00F7, and U+00FF to U+0178); Latin
// Extended-A's case pairs (U+0100-U+017F); Greek (U+03B1-U+03C9, final sigma
// to U+03A3); Cyrillic (U+0430-U+045F); fullwidth a-z. Anything else compares
// as it is, and a lookup whose name is not all ASCII reads every element of
// the lists rather than halving them, so a character the mapping lacks costs
// speed, not a miss.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/sources/regf/regf_cell.h"

constexpr std::size_t kRegfNameKept = 64; // bytes of a name kept from the read of its record

// Where a name lies: `size` bytes from `at` in the record of `cell`, the
// first `kept` of them in `start` (a lookup compares them without a read).
struct RegfName {
    RegfCell cell;
    std::uint32_t at = 0;
    std::uint32_t size = 0;
    bool compressed = false; // one byte a character
    std::uint32_t kept = 0;
    unsigned char start[kRegfNameKept];
};

std::uint16_t RegfUpcase(std::uint16_t unit);

// The name's length in UTF-16 units (an odd last byte of a UTF-16 name is dropped).
std::size_t RegfNameLength(const RegfName &name);

// The name as UTF-16 units: up to `capacity` into `units`, `count` the whole length.
bool RegfNameUnits(RegfReader &hive, const RegfName &name, std::uint16_t *units, std::size_t capacity,
                   std::size_t &count);

// Whether the name equals `query` case-insensitively; false on a fault.
bool RegfNameMatches(RegfReader &hive, const RegfName &name, const std::uint16_t *query, std::size_t count,
                     bool &equal);

// How the name sorts against `query` by upper case: below 0, 0 or above 0.
bool RegfNameOrder(RegfReader &hive, const RegfName &name, const std::uint16_t *query, std::size_t count, int &order);

// A name checked to lie within its cell; `nameAt`/`nameSize` as the record
// gives them, and the record's first `read` bytes in `record`.
bool RegfPlaceName(RegfReader &hive, const RegfCell &cell, std::uint32_t nameAt, std::uint32_t nameSize,
                   bool compressed, const unsigned char *record, std::size_t read, RegfName &name);
