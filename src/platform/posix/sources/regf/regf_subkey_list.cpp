#include "platform/posix/sources/regf/regf_subkey_list.h"

#include <cstring>

#include "platform/posix/base/byte_order.h"

namespace {

// Elements read at once.
constexpr std::size_t kBatch = 64;

struct Walk {
    RegfSubkeyVisit visit;
    void *context;
    std::uint64_t seen;
    bool stopped;
};

// A list's kind from its signature; false for anything else.
bool ListKind(const unsigned char *head, bool &root, RegfListKind &kind)
{
    root = false;
    if (std::memcmp(head, "li", 2) == 0)
        kind = RegfListKind::Index;
    else if (std::memcmp(head, "lf", 2) == 0)
        kind = RegfListKind::Hint;
    else if (std::memcmp(head, "lh", 2) == 0)
        kind = RegfListKind::Hash;
    else if (std::memcmp(head, "ri", 2) == 0)
        root = true;
    else
        return false;
    return true;
}

bool WalkList(RegfHive &hive, std::uint32_t offset, bool insideRoot, Walk &walk)
{
    unsigned char head[kRegfListHeadSize];
    RegfCell cell;
    if (!RegfLoadCell(hive, offset, cell) ||
        !RegfReadCell(hive, cell, 0, head, sizeof head, RegfFaultKind::NotSubkeyList))
        return false;
    bool root = false;
    RegfListKind kind = RegfListKind::Index;
    if (!ListKind(head + kRegfListSignatureAt, root, kind))
        return RegfFail(hive, RegfFaultKind::NotSubkeyList, offset);
    if (root && insideRoot)
        return RegfFail(hive, RegfFaultKind::IndexRootNested, offset);
    std::size_t step = root || kind == RegfListKind::Index ? kRegfIndexElementSize : kRegfHintElementSize;
    std::uint32_t count = ReadLe16(head + kRegfListCountAt);
    if (static_cast<std::uint64_t>(count) * step > cell.size - kRegfListElementsAt)
        return RegfFail(hive, RegfFaultKind::CountPastCell, offset);
    unsigned char batch[kBatch * kRegfHintElementSize];
    for (std::uint32_t done = 0; done < count && !walk.stopped; done += kBatch) {
        std::uint32_t take = count - done < kBatch ? count - done : kBatch;
        if (!RegfReadCell(hive, cell, static_cast<std::uint32_t>(kRegfListElementsAt + done * step), batch,
                          take * step))
            return false;
        for (std::uint32_t i = 0; i < take && !walk.stopped; ++i) {
            const unsigned char *element = batch + i * step;
            if (root) {
                if (!WalkList(hive, ReadLe32(element), true, walk))
                    return false;
                continue;
            }
            RegfSubkeyEntry entry;
            entry.key = ReadLe32(element);
            entry.kind = kind;
            entry.check = step == kRegfHintElementSize ? ReadLe32(element + 4) : 0;
            ++walk.seen;
            walk.stopped = !walk.visit(walk.context, entry);
        }
    }
    return true;
}

struct Search {
    RegfHive *hive;
    const std::uint16_t *name;
    std::size_t count;
    bool ascii;
    std::uint32_t hash;
    RegfKey *child;
    bool found;
};

// Whether an element's hint or hash rules the name out.
bool RuledOut(const Search &search, const RegfSubkeyEntry &entry)
{
    if (!search.ascii || entry.kind == RegfListKind::Index)
        return false;
    if (entry.kind == RegfListKind::Hash)
        return entry.check != search.hash;
    for (std::size_t i = 0; i < kRegfHintSize; ++i) {
        std::uint16_t hint = static_cast<std::uint16_t>(entry.check >> (8 * i) & 0xFF);
        if (i == 0 && hint == 0)
            return false; // the name could not be hinted
        std::uint16_t wanted = i < search.count ? search.name[i] : 0;
        if (RegfUpcase(hint) != RegfUpcase(wanted))
            return true;
    }
    return false;
}

bool Consider(void *context, const RegfSubkeyEntry &entry)
{
    Search &search = *static_cast<Search *>(context);
    if (RuledOut(search, entry))
        return true;
    bool equal = false;
    if (!RegfReadKey(*search.hive, entry.key, *search.child) ||
        !RegfNameMatches(*search.hive, search.child->name, search.name, search.count, equal))
        return false;
    search.found = equal;
    return !equal;
}

} // namespace

bool RegfForEachSubkey(RegfHive &hive, const RegfKey &key, RegfSubkeyVisit visit, void *context)
{
    if (key.subkeyCount == 0)
        return true;
    Walk walk = {visit, context, 0, false};
    if (!WalkList(hive, key.subkeyList, false, walk))
        return false;
    if (!walk.stopped && walk.seen != key.subkeyCount)
        return RegfFail(hive, RegfFaultKind::SubkeyCountMismatch, key.cell.offset);
    return hive.fault.kind == RegfFaultKind::None;
}

bool RegfFindSubkey(RegfHive &hive, const RegfKey &parent, const std::uint16_t *name, std::size_t count,
                    RegfKey &child)
{
    Search search = {&hive, name, count, true, RegfNameHash(name, count), &child, false};
    for (std::size_t i = 0; i < count; ++i)
        search.ascii = search.ascii && name[i] < 0x80;
    return RegfForEachSubkey(hive, parent, Consider, &search) && search.found;
}
