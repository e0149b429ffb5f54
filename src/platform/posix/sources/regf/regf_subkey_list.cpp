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

bool WalkList(RegfReader &hive, std::uint32_t offset, bool insideRoot, Walk &walk)
{
    RegfList list;
    if (!RegfOpenList(hive, offset, insideRoot, list))
        return false;
    unsigned char batch[kBatch * kRegfHintElementSize];
    for (std::uint32_t done = 0; done < list.count && !walk.stopped; done += kBatch) {
        std::uint32_t take = list.count - done < kBatch ? list.count - done : kBatch;
        if (!RegfReadCell(hive, list.cell, static_cast<std::uint32_t>(kRegfListElementsAt + done * list.step), batch,
                          take * list.step))
            return false;
        for (std::uint32_t i = 0; i < take && !walk.stopped; ++i) {
            const unsigned char *element = batch + i * list.step;
            if (list.root) {
                if (!WalkList(hive, ReadLe32(element), true, walk))
                    return false;
                continue;
            }
            RegfSubkeyEntry entry;
            entry.key = ReadLe32(element);
            entry.kind = list.kind;
            entry.check = list.step == kRegfHintElementSize ? ReadLe32(element + 4) : 0;
            ++walk.seen;
            walk.stopped = !walk.visit(walk.context, entry);
        }
    }
    return true;
}

} // namespace

bool RegfOpenList(RegfReader &hive, std::uint32_t offset, bool insideRoot, RegfList &list)
{
    unsigned char head[kRegfListHeadSize];
    list = RegfList();
    if (!RegfLoadCell(hive, offset, list.cell) ||
        !RegfReadCell(hive, list.cell, 0, head, sizeof head, RegfFaultKind::NotSubkeyList))
        return false;
    if (!ListKind(head + kRegfListSignatureAt, list.root, list.kind))
        return RegfFail(hive, RegfFaultKind::NotSubkeyList, offset);
    if (list.root && insideRoot)
        return RegfFail(hive, RegfFaultKind::IndexRootNested, offset);
    list.step = list.root || list.kind == RegfListKind::Index ? kRegfIndexElementSize : kRegfHintElementSize;
    list.count = ReadLe16(head + kRegfListCountAt);
    if (static_cast<std::uint64_t>(list.count) * list.step > list.cell.size - kRegfListElementsAt)
        return RegfFail(hive, RegfFaultKind::CountPastCell, offset);
    return true;
}

bool RegfListElement(RegfReader &hive, const RegfList &list, std::uint32_t index, RegfSubkeyEntry &entry)
{
    unsigned char element[kRegfHintElementSize];
    if (!RegfReadCell(hive, list.cell, static_cast<std::uint32_t>(kRegfListElementsAt + index * list.step), element,
                      list.step))
        return false;
    entry.key = ReadLe32(element);
    entry.kind = list.kind;
    entry.check = list.step == kRegfHintElementSize ? ReadLe32(element + 4) : 0;
    return true;
}

bool RegfForEachSubkey(RegfReader &hive, const RegfKey &key, RegfSubkeyVisit visit, void *context)
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

