#include "platform/posix/sources/regf/regf_name.h"

#include <cstring>

namespace {

// Bytes of a name read at once while comparing or copying it.
constexpr std::size_t kChunk = 256;

struct CaseRange {
    std::uint16_t first, last;
    std::int16_t shift; // added to the unit; 0: pairs, the odd (or even) one upper
    bool oddUpper;      // for pairs: which of each pair is upper case
};

// Lower-case runs and where their upper cases lie.
const CaseRange kCaseRanges[] = {
    {0x0061, 0x007A, -0x20, false}, {0x00E0, 0x00F6, -0x20, false}, {0x00F8, 0x00FE, -0x20, false},
    {0x0101, 0x012F, 0, false},     {0x0133, 0x0137, 0, false},     {0x013A, 0x0148, 0, true},
    {0x014B, 0x0177, 0, false},     {0x017A, 0x017E, 0, true},      {0x03B1, 0x03C1, -0x20, false},
    {0x03C3, 0x03C9, -0x20, false}, {0x0430, 0x044F, -0x20, false}, {0x0450, 0x045F, -0x50, false},
    {0xFF41, 0xFF5A, -0x20, false},
};

std::uint16_t UnitAt(const unsigned char *bytes, std::size_t i, bool compressed)
{
    return compressed ? bytes[i] : static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
}

} // namespace

std::uint16_t RegfUpcase(std::uint16_t unit)
{
    if (unit < 0x61)
        return unit;
    if (unit == 0x00FF)
        return 0x0178;
    if (unit == 0x03C2)
        return 0x03A3;
    for (const CaseRange &range : kCaseRanges) {
        if (unit < range.first || unit > range.last)
            continue;
        if (range.shift != 0)
            return static_cast<std::uint16_t>(unit + range.shift);
        bool odd = (unit & 1) != 0;
        // Within a pair run, the first of each pair is upper case: lower ones step back.
        return odd == range.oddUpper ? unit : static_cast<std::uint16_t>(unit - 1);
    }
    return unit;
}

std::size_t RegfNameLength(const RegfName &name)
{
    return name.compressed ? name.size : name.size / 2;
}

bool RegfPlaceName(RegfReader &hive, const RegfCell &cell, std::uint32_t nameAt, std::uint32_t nameSize,
                   bool compressed, const unsigned char *record, std::size_t read, RegfName &name)
{
    if (nameAt > cell.size || nameSize > cell.size - nameAt)
        return RegfFail(hive, RegfFaultKind::NamePastCell, cell.offset);
    name.cell = cell;
    name.at = nameAt;
    name.size = nameSize;
    name.compressed = compressed;
    name.kept = 0;
    if (read > nameAt) {
        std::size_t kept = read - nameAt < kRegfNameKept ? read - nameAt : kRegfNameKept;
        name.kept = static_cast<std::uint32_t>(kept < nameSize ? kept : nameSize);
        std::memcpy(name.start, record + nameAt, name.kept);
    }
    return true;
}

bool RegfNameUnits(RegfReader &hive, const RegfName &name, std::uint16_t *units, std::size_t capacity,
                   std::size_t &count)
{
    count = RegfNameLength(name);
    std::size_t unitBytes = name.compressed ? 1 : 2, perChunk = kChunk / unitBytes;
    unsigned char chunk[kChunk];
    for (std::size_t done = 0; done < count && done < capacity; done += perChunk) {
        std::size_t take = count - done < perChunk ? count - done : perChunk;
        std::size_t from = done * unitBytes, bytes = take * unitBytes;
        const unsigned char *part = chunk;
        if (from + bytes <= name.kept)
            part = name.start + from;
        else if (!RegfReadCell(hive, name.cell, name.at + static_cast<std::uint32_t>(from), chunk, bytes,
                               RegfFaultKind::NamePastCell))
            return false;
        for (std::size_t i = 0; i < take && done + i < capacity; ++i)
            units[done + i] = UnitAt(part, i, name.compressed);
    }
    return true;
}

bool RegfNameOrder(RegfReader &hive, const RegfName &name, const std::uint16_t *query, std::size_t count, int &order)
{
    std::size_t length = RegfNameLength(name), common = length < count ? length : count;
    std::uint16_t units[kChunk];
    order = 0;
    for (std::size_t done = 0; done < common; done += kChunk) {
        std::size_t take = common - done < kChunk ? common - done : kChunk, got = 0;
        std::uint32_t skip = static_cast<std::uint32_t>(done * (name.compressed ? 1 : 2));
        RegfName part = name;
        part.at += skip;
        part.size = static_cast<std::uint32_t>(take * (name.compressed ? 1 : 2));
        part.kept = 0;
        if (name.kept > skip) { // what of this part was kept
            part.kept = name.kept - skip < part.size ? name.kept - skip : part.size;
            std::memcpy(part.start, name.start + skip, part.kept);
        }
        if (!RegfNameUnits(hive, part, units, take, got))
            return false;
        for (std::size_t i = 0; i < take; ++i) {
            std::uint16_t mine = RegfUpcase(units[i]), wanted = RegfUpcase(query[done + i]);
            if (mine != wanted) {
                order = mine < wanted ? -1 : 1;
                return true;
            }
        }
    }
    order = length < count ? -1 : length > count ? 1 : 0;
    return true;
}

bool RegfNameMatches(RegfReader &hive, const RegfName &name, const std::uint16_t *query, std::size_t count,
                     bool &equal)
{
    int order = 0;
    equal = false;
    if (RegfNameLength(name) != count)
        return true;
    if (!RegfNameOrder(hive, name, query, count, order))
        return false;
    equal = order == 0;
    return true;
}
