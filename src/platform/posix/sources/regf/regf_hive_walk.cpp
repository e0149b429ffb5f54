#include "platform/posix/sources/regf/regf_hive_walk.h"

#include "platform/posix/sources/regf/regf_subkey_list.h"

namespace {

struct Walk {
    RegfReader *hive;
    const RegfWalkVisitor *visitor;
    std::uint32_t keysLeft;
    unsigned depth;
    std::uint32_t path[kRegfDeepestKeyTree + 1]; // the keys from the root down to the current one
    bool stopped;
};

// A key's values are visited with the key they belong to.
struct KeyWalk {
    Walk *walk;
    const RegfKey *key;
};

bool Value(void *context, const RegfValue &value);
bool Subkey(void *context, const RegfSubkeyEntry &entry);

bool VisitKey(Walk &walk, std::uint32_t offset)
{
    RegfReader &hive = *walk.hive;
    for (unsigned i = 0; i < walk.depth; ++i)
        if (walk.path[i] == offset)
            return RegfFail(hive, RegfFaultKind::KeyLoop, offset);
    if (walk.depth > kRegfDeepestKeyTree)
        return RegfFail(hive, RegfFaultKind::KeyTreeTooDeep, offset);
    if (walk.keysLeft == 0)
        return RegfFail(hive, RegfFaultKind::WalkLimit, offset);
    --walk.keysLeft;
    RegfKey key;
    if (!RegfReadKey(hive, offset, key))
        return false;
    if (walk.visitor->key != nullptr && !walk.visitor->key(walk.visitor->context, key, walk.depth))
        return !(walk.stopped = true);
    KeyWalk pair = {&walk, &key};
    if (!RegfForEachValue(hive, key, Value, &pair) || walk.stopped)
        return false;
    walk.path[walk.depth++] = offset;
    bool ok = RegfForEachSubkey(hive, key, Subkey, &walk) && !walk.stopped;
    --walk.depth;
    return ok;
}

bool Value(void *context, const RegfValue &value)
{
    KeyWalk &pair = *static_cast<KeyWalk *>(context);
    const RegfWalkVisitor &visitor = *pair.walk->visitor;
    if (visitor.value != nullptr && !visitor.value(visitor.context, *pair.key, value))
        pair.walk->stopped = true;
    return !pair.walk->stopped;
}

bool Subkey(void *context, const RegfSubkeyEntry &entry)
{
    Walk &walk = *static_cast<Walk *>(context);
    return VisitKey(walk, entry.key);
}

} // namespace

bool RegfWalkHive(RegfReader &hive, const RegfWalkVisitor &visitor, std::uint32_t mostKeys)
{
    static_assert(sizeof(Walk) < 4096, "the walk keeps its path on the stack");
    Walk walk = {&hive, &visitor, mostKeys, 0, {}, false};
    return VisitKey(walk, hive.rootCell) && !walk.stopped;
}
