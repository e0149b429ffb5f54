// Finding a subkey by name: by halves in the sorted lists for an ASCII name,
// as Windows looks; element by element for any other.
#include "platform/posix/sources/regf/regf_subkey_list.h"

namespace {

struct Query {
    const std::uint16_t *name;
    std::size_t count;
};

// How element `index` of a leaf list sorts against the query; its key in `key`.
bool Order(RegfReader &hive, const RegfList &list, std::uint32_t index, const Query &query, RegfKey &key, int &order)
{
    RegfSubkeyEntry entry;
    return RegfListElement(hive, list, index, entry) && RegfReadKey(hive, entry.key, key) &&
           RegfNameOrder(hive, key.name, query.name, query.count, order);
}

// By halves over `count` elements: `probe(i, order)` says how element i
// sorts against the query (false on a fault). `low` ends at the first
// element not below it; `found` when one is equal.
template <typename Probe>
bool Halve(std::uint32_t count, Probe probe, std::uint32_t &low, bool &found)
{
    low = 0;
    std::uint32_t high = count;
    while (low < high) {
        std::uint32_t middle = low + (high - low) / 2;
        int order = 0;
        if (!probe(middle, order))
            return false;
        if (order == 0)
            return found = true;
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return true;
}

bool SearchLeaf(RegfReader &hive, const RegfList &list, const Query &query, RegfKey &child, bool &found)
{
    std::uint32_t low = 0;
    return Halve(list.count, [&](std::uint32_t i, int &order) { return Order(hive, list, i, query, child, order); },
                 low, found);
}

// An index root: the first of its lists whose last name sorts at or after the query.
bool SearchRoot(RegfReader &hive, const RegfList &root, const Query &query, RegfKey &child, bool &found)
{
    std::uint32_t low = 0;
    auto lastName = [&](std::uint32_t i, int &order) {
        RegfSubkeyEntry entry;
        RegfList list;
        order = -1;
        return RegfListElement(hive, root, i, entry) && RegfOpenList(hive, entry.key, true, list) &&
               (list.count == 0 || Order(hive, list, list.count - 1, query, child, order));
    };
    if (!Halve(root.count, lastName, low, found))
        return false;
    if (found || low == root.count)
        return true;
    RegfSubkeyEntry entry;
    RegfList list;
    return RegfListElement(hive, root, low, entry) && RegfOpenList(hive, entry.key, true, list) &&
           SearchLeaf(hive, list, query, child, found);
}

struct Scan {
    RegfReader *hive;
    Query query;
    RegfKey *child;
    bool found;
};

bool Consider(void *context, const RegfSubkeyEntry &entry)
{
    Scan &scan = *static_cast<Scan *>(context);
    bool equal = false;
    if (!RegfReadKey(*scan.hive, entry.key, *scan.child) ||
        !RegfNameMatches(*scan.hive, scan.child->name, scan.query.name, scan.query.count, equal))
        return false;
    scan.found = equal;
    return !equal;
}

} // namespace

bool RegfFindSubkey(RegfReader &hive, const RegfKey &parent, const std::uint16_t *name, std::size_t count,
                    RegfKey &child)
{
    Query query = {name, count};
    bool ascii = true, found = false;
    for (std::size_t i = 0; i < count; ++i)
        ascii = ascii && name[i] < 0x80;
    if (!ascii) {
        Scan scan = {&hive, query, &child, false};
        return RegfForEachSubkey(hive, parent, Consider, &scan) && scan.found;
    }
    if (parent.subkeyCount == 0)
        return false;
    RegfList list;
    if (!RegfOpenList(hive, parent.subkeyList, false, list))
        return false;
    if (!(list.root ? SearchRoot(hive, list, query, child, found) : SearchLeaf(hive, list, query, child, found)))
        return false;
    return found;
}
