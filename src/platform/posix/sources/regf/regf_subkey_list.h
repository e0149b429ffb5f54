// Subkey lists: "li" (offsets), "lf" (offsets and name hints), "lh" (offsets
// and name hashes), and "ri", a list of those lists, never of another "ri".
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/posix/sources/regf/regf_key_node.h"

constexpr std::size_t kRegfListSignatureAt = 0;
constexpr std::size_t kRegfListCountAt = 2;
constexpr std::size_t kRegfListElementsAt = 4;
constexpr std::size_t kRegfListHeadSize = 4;
constexpr std::size_t kRegfIndexElementSize = 4; // li, ri: an offset
constexpr std::size_t kRegfHintElementSize = 8;  // lf, lh: an offset, then a hint or hash

enum class RegfListKind : std::uint8_t { Index, Hint, Hash };

// One element of a leaf list: the subkey's node, and its hint or hash.
struct RegfSubkeyEntry {
    std::uint32_t key = 0;
    RegfListKind kind = RegfListKind::Index;
    std::uint32_t check = 0; // lf: hint bytes, little-endian; lh: hash
};

// A list cell, checked: its kind (or an index root) and a count its cell holds.
struct RegfList {
    RegfCell cell;
    bool root = false;
    RegfListKind kind = RegfListKind::Index;
    std::uint32_t count = 0;
    std::size_t step = 0; // bytes an element
};

// `insideRoot`: the list is an element of an index root, so it may not be one.
bool RegfOpenList(RegfReader &hive, std::uint32_t offset, bool insideRoot, RegfList &list);

// Element `index` (below the list's count) of a list; for an index root, `key` is a list.
bool RegfListElement(RegfReader &hive, const RegfList &list, std::uint32_t index, RegfSubkeyEntry &entry);

// Called for each element in order; returns false to stop.
typedef bool (*RegfSubkeyVisit)(void *context, const RegfSubkeyEntry &entry);

// Each subkey of `key`; false on a fault. A walk to the end also checks the
// lists' total against the key's count.
bool RegfForEachSubkey(RegfReader &hive, const RegfKey &key, RegfSubkeyVisit visit, void *context);

// The subkey named `name` (UTF-16 units, any case); false when there is none
// or on a fault (then hive.fault says which). Lists are kept sorted by upper
// case, so an ASCII name is looked for by halves; any other by every element.
bool RegfFindSubkey(RegfReader &hive, const RegfKey &parent, const std::uint16_t *name, std::size_t count,
                    RegfKey &child);
