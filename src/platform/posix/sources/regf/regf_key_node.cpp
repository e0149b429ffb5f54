#include "platform/posix/sources/regf/regf_key_node.h"

#include "platform/posix/base/byte_order.h"

bool RegfReadKey(RegfReader &hive, std::uint32_t offset, RegfKey &key)
{
    unsigned char head[kRegfKeyNameAt + kRegfNameKept];
    std::size_t got = 0;
    key = RegfKey();
    if (!RegfLoadRecord(hive, offset, "nk", RegfFaultKind::NotKeyNode, head, kRegfKeyNameAt, key.cell,
                        kRegfNameKept, &got))
        return false;
    key.flags = ReadLe16(head + kRegfKeyFlagsAt);
    key.lastWritten = ReadLe64(head + kRegfKeyLastWrittenAt);
    key.subkeyCount = ReadLe32(head + kRegfKeySubkeyCountAt);
    key.subkeyList = ReadLe32(head + kRegfKeySubkeyListAt);
    key.valueCount = ReadLe32(head + kRegfKeyValueCountAt);
    key.valueList = ReadLe32(head + kRegfKeyValueListAt);
    key.classCell = ReadLe32(head + kRegfKeyClassAt);
    key.classSize = ReadLe16(head + kRegfKeyClassSizeAt);
    return RegfPlaceName(hive, key.cell, kRegfKeyNameAt, ReadLe16(head + kRegfKeyNameSizeAt),
                         (key.flags & kRegfKeyCompressedName) != 0, head, got, key.name);
}

bool RegfRootKey(RegfReader &hive, RegfKey &key)
{
    return RegfReadKey(hive, hive.rootCell, key);
}

bool RegfKeyClass(RegfReader &hive, const RegfKey &key, unsigned char *buffer, std::size_t capacity,
                  std::size_t &size)
{
    size = 0;
    if (key.classSize == 0 || key.classCell == kRegfNoCell)
        return true;
    RegfCell cell;
    if (!RegfLoadCell(hive, key.classCell, cell))
        return false;
    if (key.classSize > cell.size)
        return RegfFail(hive, RegfFaultKind::ClassPastCell, key.classCell);
    size = key.classSize;
    return RegfReadCell(hive, cell, 0, buffer, size < capacity ? size : capacity);
}
