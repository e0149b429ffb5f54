// Every key and value below the root, depth first in the lists' order: what
// a full comparison or a fuzzer needs. Cut where the tree runs deeper than
// Windows allows, lists a key below itself, or passes `mostKeys`.
#pragma once

#include <cstdint>

#include "platform/posix/sources/regf/regf_value_key.h"

struct RegfWalkVisitor {
    // Each key after its parent (depth 0: the root); false stops the walk.
    bool (*key)(void *context, const RegfKey &key, unsigned depth) = nullptr;
    // Each value of the key last visited; false stops the walk.
    bool (*value)(void *context, const RegfKey &key, const RegfValue &value) = nullptr;
    void *context = nullptr;
};

// False on a fault (hive.fault) or when a visitor stopped it.
bool RegfWalkHive(RegfReader &hive, const RegfWalkVisitor &visitor, std::uint32_t mostKeys);
